// The six-byte custom status record of the VD-K773 (sent while the custom
// status stream 1D E0 FF is on), decoded with the decoder of
// StatusDecoder.h. The record carries no working state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "status/StatusRecord8.h"

namespace torva::status {

constexpr size_t kRecord6Length = 6;

// The custom status command: 1D E0 n. FF starts the stream of records, 00
// stops it; the printer answers nothing to the command itself.
extern const uint8_t kCustomStatusOnCommand[3];   // 1D E0 FF
extern const uint8_t kCustomStatusOffCommand[3];  // 1D E0 00

RecordLayout Record6Layout();
StatusDecoder MakeRecord6Decoder();

// Object name of the check box that shows bit `bit` (0 = LSB) of byte
// `byte` (1-based) of the six-byte record: rows 1-4 "Byte<n><7-bit>", row 5
// "Byte48" .. "Byte55", row 6 "Byte56" .. "Byte63" (bits 2 and 1 of byte 5
// are "BYte53" and "BYte54").
std::string Record6CheckBoxName(int byte, int bit);
// Object name of the hex label of byte `byte` (1-based).
std::string Record6LabelName(int byte);

}  // namespace torva::status
