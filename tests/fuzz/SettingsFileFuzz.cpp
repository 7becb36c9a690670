// Fuzz target of the settings-file reader: any bytes as a *.pes file, read
// with the store sizes, tags and both framings of several editors and
// applied to the import tables of every editor of the common-address family
// (VD-M512II, VD-M512, VD-K512, VD-K201, VD-K305, VD-N512, VD-K773), of the
// POS-style editors (RW-K201, RW-K305, RWN-K409, RW-K201E, RW-K305E,
// RW-K305GII), whose result is exported again, and of the four two-bank
// editors.
// Besides the sanitizers it checks what the reader promises: never more
// records than the store holds, a matching tag only when the tag text is the
// editor's, the records taken from the file's bytes in order; and that an
// imported two-bank state still checks, exports and reads back cleanly.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/CommonAddressMap.h"
#include "settings/SecondSeriesMap.h"
#include "settings/SettingsFile.h"
#include "settings/TwoBankMap.h"

// The reader and the map are compiled into this target itself, so the fuzzer
// is one file for clang (libFuzzer) while the rest of the tree builds with
// gcc, and the replay test beside it needs no Qt library either.
#include "settings/CommonAddressMap.cpp"
#include "settings/EditorCommon.cpp"
#include "settings/SecondSeriesMap.cpp"
#include "settings/SettingsFile.cpp"
#include "settings/TwoBankMap.cpp"

using namespace torva::settings;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void ReadWith(const uint8_t* data, size_t size, const FileReadProfile& profile) {
  const FileReadResult r = ReadSettingsFile(data, size, profile);
  const FileSizeCheck check = CheckFileSize(static_cast<long long>(size), profile);
  Require(r.refusedTooLarge == check.tooManyRecords);
  Require(r.records.size() <= static_cast<size_t>(profile.maxRecords));
  if (r.refusedTooLarge) {
    Require(r.records.empty() && !r.tagMatches);
    return;
  }
  Require(static_cast<long long>(size) <= MaxFileBytes(profile));
  Require(!r.tagMatches || r.tagText == profile.tag);
  if (profile.framing == FileFraming::BlocksToEnd) {
    // The records are the first (size - 9) div 9 blocks, all whole; the tag
    // can only match a file of 9 bytes or more.
    Require(r.records.size() == static_cast<size_t>(check.recordCount));
    Require(!r.tagMatches || size >= 9);
    Require(r.shortRecord == (size % 9 != 0));
  }
  for (size_t i = 0; i < r.records.size(); ++i) {
    if (r.records[i]) Require(std::memcmp(r.records[i]->bytes.data(), data + 9 * i, 9) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadWith(data, size, {"VD-M512II", 25});
  ReadWith(data, size, {"ABCDEFGHI", 20});
  ReadWith(data, size, {"VD-K9034ab", 50});
  ReadWith(data, size, {"", 0});
  ReadWith(data, size, {"VD-H738ab", 49, FileFraming::BlocksToEnd});
  ReadWith(data, size, {"VD-K772ab", 3, FileFraming::BlocksToEnd});

  for (const TwoBankProfile* profile : TwoBankProfiles()) {
    TwoBankState state;
    state.codePage = 0;  // a code page selected, so whole exports are read back below
    TwoBankKeptBytes kept;
    const TwoBankState before = state;
    const TwoBankKeptBytes keptBefore = kept;
    const TwoBankImport import = ImportTwoBankFile(data, size, *profile, state, kept);
    if (import.status != TwoBankImport::Status::Applied) Require(state == before && kept == keptBefore);
    // Whatever was imported, the state checks, saves and exports cleanly.
    for (const TwoBankEditChecks* checks : {&profile->saveChecks, &profile->exportChecks}) {
      const TwoBankEditCheck check = CheckTwoBankEdits(state, *checks);
      Require(!check.formatError || (!check.values && check.messages.size() == 1));
      if (!check.values) continue;
      for (int s = 0; s < kTwoBankSettingCount; ++s) {
        EncodeSetting(static_cast<TwoBankSetting>(s), *profile, state, *check.values, kept);
      }
      const TwoBankExport out = BuildTwoBankExport(*profile, state, *check.values, kept);
      const size_t tagLength = std::strlen(profile->tag);
      Require(out.file.size() >= tagLength && (out.file.size() - tagLength) % 9 == 0);
      Require(out.file.size() <= 9 * profile->exportOrder.size() + tagLength);
      if (!out.complete()) continue;
      // A whole export read back changes nothing.
      TwoBankState again = state;
      TwoBankKeptBytes keptAgain = kept;
      const TwoBankImport back = ImportTwoBankFile(out.file.data(), out.file.size(), *profile, again, keptAgain);
      Require(back.status == TwoBankImport::Status::Applied && again == state && keptAgain == kept);
    }
  }

  for (const CommonAddressProfile* profile : CommonAddressProfiles()) {
    // The records reach the editor's import table whatever the tag says; a
    // refused record leaves the state as it was.
    const FileReadResult r = ReadSettingsFile(data, size, {profile->tag, profile->importCapacity});
    EditorState state;
    for (const auto& slot : r.records) {
      if (!slot || !slot->isBank1()) continue;
      EditorState before = state;
      const ImportOutcome outcome = ImportRecord(slot->address(), slot->lo(), slot->hi(), state, *profile);
      // A record nobody takes changes nothing; a refused one neither, unless
      // its halves are taken one by one (then only a half may change).
      size_t rows = 0;
      for (const FileRecordKey& entry : profile->importTable) rows += entry.key == slot->address();
      if (outcome == ImportOutcome::NotInTable) Require(rows == 0 && state == before);
      if (outcome == ImportOutcome::Refused && rows == 1) Require(state == before);
    }
    // Whatever was imported, the state still exports or refuses cleanly:
    // every record of the export order, less those left out when nothing is
    // selected.
    const EditCheck check = CheckEdits(state, profile->exportChecks);
    if (check.values) {
      const auto bytes = BuildExport(state, *check.values, *profile);
      size_t optional = 0;
      for (const FileRecordKey& record : profile->exportOrder) optional += record.leftOutWhenRefused;
      if (bytes) {
        Require(bytes->size() % 9 == 0 && bytes->size() <= 9 * profile->exportOrder.size() + 9);
        Require(bytes->size() >= 9 * (profile->exportOrder.size() - optional) + 9);
      }
    }
  }
  for (const second::SecondSeriesProfile* profile : second::SecondSeriesProfiles()) {
    const second::FormState start = second::StartState(*profile);
    second::FormState state = start;
    const second::ImportOutcome outcome = second::ImportFile(data, size, state, *profile);
    // A refused file changes nothing; only a file of whole records and the
    // editor's tag is taken.
    if (outcome == second::ImportOutcome::NotNormal) Require(state == start);
    if (outcome != second::ImportOutcome::NotNormal) {
      Require(size >= 9 && (size - 9) % 9 == 0 && (size - 9) / 9 <= 20);
      Require(std::memcmp(data + size - 9, profile->tag, 9) == 0);
    }
    // Whatever was imported exports whole, or is refused by the checks.
    const second::EditCheck check = second::CheckEdits(state, profile->exportChecks);
    if (check.values) {
      const auto bytes = second::BuildExport(state, *check.values, 0x5A, *profile);
      // Only a list without a code page (the RW-K305GII opens so) refuses a
      // checked state.
      if (!bytes) {
        Require(state[second::Control::cboCodePage].index < 0);
        continue;
      }
      Require(bytes->size() == 9 * profile->exportOrder.size() + 9);
      second::FormState again = start;
      Require(second::ImportFile(*bytes, again, *profile) == second::ImportOutcome::Applied);
      Require(again == state);
    }
  }
  return 0;
}
