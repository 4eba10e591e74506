#ifndef VTX_TESTS_ALGORITHM_TABLE_H
#define VTX_TESTS_ALGORITHM_TABLE_H

/* What the algorithms and the catalogue must produce, written out by hand so
   that tests compare the module against the table, not against its own code.
   Plain C, so that the C host and the C++ tests share it. */

#define VTX_CATALOGUE_JSON                                            \
  "{\"algorithmItems\":[{\"_name\":\"eTypeWriteZero\",\"_type\":16}," \
  "{\"_name\":\"eTypeWriteRandData\",\"_type\":17},"                  \
  "{\"_name\":\"eTypeBritishHMGIS5\",\"_type\":18},"                  \
  "{\"_name\":\"eTypeUSDOD522022ME\",\"_type\":19},"                  \
  "{\"_name\":\"eTypeUSDOD522022MECE\",\"_type\":20},"                \
  "{\"_name\":\"eTypePeterGutemann\",\"_type\":21},"                  \
  "{\"_name\":\"eTypeRussianGOSTP50739\",\"_type\":22}]}"

/* A pass that writes the time byte (the clock's seconds, lowest eight bits). */
#define VTX_TIME_BYTE (-1)

/* One algorithm: its type, pass count, and the byte of pass numbers -1 to 8
   (bytes[pass + 1]). Every type without a row is zero fill. */
typedef struct VtxAlgorithmRow {
  int type;
  int passes;
  int bytes[10];
} VtxAlgorithmRow;

#define VTX_T VTX_TIME_BYTE
static const VtxAlgorithmRow kVtxAlgorithmRows[] = {
    {16, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {17, 1, {VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T}},
    {18, 3, {0xFF, 0xFF, 0xFF, VTX_T, VTX_T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {19, 3, {0xFF, 0xFF, 0xFF, 0x01, VTX_T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {20, 7, {0xFF, 0xFF, 0xFF, 0x01, VTX_T, 0xFF, 0xFF, 0x01, VTX_T, 0xFF}},
    {21, 1, {VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T, VTX_T}},
    {22, 2, {0xFF, 0xFF, VTX_T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
};
#undef VTX_T

#define VTX_ALGORITHM_ROWS ((int)(sizeof(kVtxAlgorithmRows) / sizeof(kVtxAlgorithmRows[0])))

#endif
