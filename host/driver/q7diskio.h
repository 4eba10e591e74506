/* The control interface of the host's disk-I/O driver q7diskio.sys: its
 * device, its one control code and the write request that code carries.
 * Plain C, included by the driver and by the programs that drive it. */
#ifndef Q7DISKIO_H
#define Q7DISKIO_H

/* \Device\q7diskio, reached from user mode as \\.\q7diskio. */
#define Q7DISKIO_DEVICE_TYPE 0x9C40u

/* CTL_CODE(Q7DISKIO_DEVICE_TYPE, 0x904, METHOD_OUT_DIRECT, FILE_ANY_ACCESS):
 * the same buffer goes in as input and out as output; the answer is only
 * the call's success or failure. */
#define IOCTL_WRITE_SECTORS 0x9C402412u

/* The request: this head, nSectorCount sectors of data from offset 16, then
 * one spare byte. Its length is therefore Q7DISKIO_REQUEST_OVERHEAD +
 * nSectorCount x sector size, and the driver learns the sector size (a power
 * of two from 512 to 4096) from that length. Sectors are counted from the start of the disk
 * \??\PhysicalDrive<nDiskNumber>, in units of that sector size. */
#pragma pack(push, 1)
typedef struct Q7WriteSectorRequest {
  unsigned int nDiskNumber;
  unsigned long long nStartSector;
  unsigned int nSectorCount;
  unsigned char data[1];
} Q7WriteSectorRequest;
#pragma pack(pop)

#define Q7DISKIO_REQUEST_OVERHEAD 17u

#ifdef __cplusplus
#define Q7DISKIO_STATIC_ASSERT static_assert
#else
#define Q7DISKIO_STATIC_ASSERT _Static_assert
#endif
Q7DISKIO_STATIC_ASSERT(sizeof(Q7WriteSectorRequest) == Q7DISKIO_REQUEST_OVERHEAD, "head + 1");
Q7DISKIO_STATIC_ASSERT(__builtin_offsetof(Q7WriteSectorRequest, nStartSector) == 4, "offset");
Q7DISKIO_STATIC_ASSERT(__builtin_offsetof(Q7WriteSectorRequest, nSectorCount) == 12, "offset");
Q7DISKIO_STATIC_ASSERT(__builtin_offsetof(Q7WriteSectorRequest, data) == 16, "offset");

#endif
