#pragma once

#include <cstddef>

#include "common/IErrorInterpreter.h"

// The host's error interpreter (ErrorInterpreter.dll, libErrorInterpreter.so),
// reached through __GetErrorInterPreter. Texts, first rule that applies:
//
//   a code of the wipe layer   what happened and what to do, with the code
//                              in hex, e.g. "The wipe was stopped during a
//                              pass; start it again to wipe the rest (code
//                              0x0350301B)."
//   a code of the system       the system's own message for it
//   anything else              "unknown error 0x1234ABCD"
//
// Every text fits 131 characters. Any thread may call; the text lives in a
// buffer of the calling thread until its next call.
class CErrorInterpreter final : public BoundaryObject<CErrorInterpreter, IErrorInterpreter> {
 public:
  const char* GetErrorString(unsigned int code) override;
};

// The system's message for `code`, trimmed of line ends, into `text`; false
// when the system has no message for it. One implementation per backend.
bool SystemErrorMessage(unsigned int code, char* text, std::size_t size);
