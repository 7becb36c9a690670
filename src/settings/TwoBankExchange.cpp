#include "settings/TwoBankExchange.h"

#include <algorithm>

namespace torva::settings {

bool GetTwoBankSetting(SettingLink& link, const TwoBankProfile& profile, TwoBankSetting setting,
                       TwoBankState& state, TwoBankKeptBytes& kept) {
  if (link.handle() <= 0) return false;
  const TwoBankSettingInfo& info = TwoBankInfoOf(setting);
  SettingLink::ReadFrame frame;
  frame.bank = info.bank;
  if (info.watermark) {
    frame.throughPOSReadPort = true;
  } else {
    const TwoBankSettle& settle = profile.settleOf(setting);
    frame.settleMs = settle.ms;
    frame.settleBeforeRequest = settle.beforeRequest;
  }
  uint8_t lo = 0, hi = 0;
  if (!link.ReadSetting(info.address, lo, hi, frame)) return false;
  return DecodeReply(setting, lo, hi, profile, state, kept);
}

bool SetTwoBankSetting(SettingLink& link, const TwoBankProfile& profile, TwoBankSetting setting,
                       const TwoBankState& state, const TwoBankEdits& edits, const TwoBankKeptBytes& kept) {
  if (link.handle() <= 0) return false;
  const auto value = EncodeSetting(setting, profile, state, edits, kept);
  if (!value) return false;
  const TwoBankSettingInfo& info = TwoBankInfoOf(setting);
  if (info.bank == 2) {
    const auto byte = static_cast<uint8_t>(*value & 0xFF);
    return info.queued ? link.QueueSetting2(info.address, byte) : link.WriteSettingNow2(info.address, byte);
  }
  return info.queued ? link.QueueSetting(info.address, *value) : link.WriteSettingNow(info.address, *value);
}

TwoBankGetRun RunTwoBankGet(SettingLink& link, const TwoBankProfile& profile, TwoBankState& state,
                            TwoBankKeptBytes& kept) {
  TwoBankGetRun run;
  run.resultText = "Fail to get";
  run.stateText = "Printer state:";
  for (const TwoBankGetStep& step : profile.getSteps) {
    // A row read twice: the second read stands, so the controls take only
    // what it decoded.
    TwoBankState read = state;
    bool ok = false;
    for (int i = 0; i < std::max(step.reads, 1); ++i) {
      read = state;
      ok = GetTwoBankSetting(link, profile, step.setting, read, kept);
    }
    if (!ok) {
      run.resultText += step.failText;
      run.failed = step.setting;
      run.commTestBox = step.commTestBox;
      break;
    }
    state = read;
    if (step.setting == TwoBankSetting::PrintSpeed) {
      AppendSpeedNote(run.stateText, ParseInt32(state.speed).value_or(0));
    } else if (step.setting == TwoBankSetting::PrintDarkness) {
      const StateLine line = CloseStateLine(run.stateText);
      run.stateText = line.text;
      run.stateOlive = line.olive;
    }
  }
  // What reached the port after the last reply was judged goes too: it
  // waits for no later reader.
  link.DiscardStaleInput();
  return run;
}

StateLine TwoBankSaveStateLine(const TwoBankEdits& edits) {
  std::string state = "Printer state:";
  AppendSpeedNote(state, edits.speed);
  // One note for either head.
  AppendDarknessNote(state, std::max(edits.head1, edits.head2));
  return CloseStateLine(state);
}

TwoBankSaveRun RunTwoBankSave(SettingLink& link, const TwoBankProfile& profile, const TwoBankState& state,
                              const TwoBankEdits& edits, const TwoBankKeptBytes& kept) {
  TwoBankSaveRun run;
  run.resultText = "Fail to save";
  link.queue().Clear();
  for (const TwoBankSaveStep& step : profile.saveSteps) {
    bool ok;
    if (step.flush) {
      ok = link.SendCommand();
    } else {
      if (SaveSkips(step.setting, state)) continue;
      ok = SetTwoBankSetting(link, profile, step.setting, state, edits, kept);
    }
    if (ok) continue;
    run.resultText += step.failText;
    if (!step.goesOn) break;
  }
  return run;
}

}  // namespace torva::settings
