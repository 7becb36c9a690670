// Decoding of the longer status records without widgets: the eight-byte
// record of the VD-K772 / VD-K9034 and of the VD-K512 shutter dialog, and
// (StatusRecord6.h) the six-byte custom record of the VD-K773.
//
// Both are layouts of the one decoder of StatusDecoder.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "status/StatusDecoder.h"

namespace torva::status {

// The two dialogs that read the eight-byte record.
enum class Record8Variant {
  K772,  // VD-K772 and VD-K9034: both paper channels, the printer jam in two places
  K512,  // VD-K512 shutter dialog: the shutter, cutter and jam on one image, rotated states
};

constexpr size_t kRecord8Length = 8;

// The layout of each variant: conditions, working states in the order their
// images are written, memo lines.
RecordLayout Record8Layout(Record8Variant v);
StatusDecoder MakeRecord8Decoder(Record8Variant v);

// Caption of the working-state box of code k (0..7) in the dialog, English
// or Chinese (UTF-8); empty for another code.
std::string Record8StateCaption(Record8Variant v, int code, bool chinese);

}  // namespace torva::status
