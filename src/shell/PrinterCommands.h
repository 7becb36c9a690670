// The one-shot printer commands of the Test menu. No reply is read for any
// of them.
#pragma once

#include <cstdint>

namespace TestCommands {
inline constexpr uint8_t ResetPrinterCommand[] = {0x10, 0x04, 0x0A};
inline constexpr uint8_t ClearErrorCommand[] = {0x10, 0x04, 0x0B};
inline constexpr uint8_t FeedLineCommand[] = {0x0A};
inline constexpr uint8_t CutPaperCommand[] = {0x1D, 0x56, 0x42, 0x10};
inline constexpr uint8_t BundlerPresentCommand[] = {0x1B, 0x63, 0x5B};
inline constexpr uint8_t BundlerRetractCommand[] = {0x1B, 0x63, 0x5C};
}  // namespace TestCommands
