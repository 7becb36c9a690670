// Known dialog states and their settings files, written out by hand from the
// record tables of the file format (never produced by the code under test).
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>

#include "settings/CommonAddressMap.h"

namespace torva::settings {

// Lets GoogleTest print a dialog state in failure messages.
inline void PrintTo(const EditorState& s, std::ostream* os) {
  *os << "{baud " << s.baud << ", dataBits " << s.dataBits << ", stopBits " << s.stopBits << ", parity " << s.parity
      << ", flow " << s.flow << ", speed \"" << s.speed << "\", darkness \"" << s.darkness << "\", paperType "
      << s.paperType << ", presenter " << s.presenter << ", beeper " << s.beeper << ", autoCutter " << s.autoCutter
      << ", cr " << s.cr << ", stopOnNearEnd " << s.stopOnNearEnd << ", alarmOnNearEnd " << s.alarmOnNearEnd
      << ", paperOutMode " << s.paperOutMode << ", feedLine \"" << s.feedLine << "\", waitTime \"" << s.waitTime
      << "\", autoTime \"" << s.autoTime << "\", autoSpeed \"" << s.autoSpeed << "\", ledMode " << s.ledMode
      << ", lightTime \"" << s.lightTime << "\", extinctTime \"" << s.extinctTime << "\", leftMargin \""
      << s.leftMargin << "\", rightMargin \"" << s.rightMargin << "\", codePage " << s.codePage << ", rxBuffer "
      << s.rxBuffer << ", autoPresent " << s.autoPresent << ", head2 \"" << s.head2 << "\", beeperEnable "
      << s.beeperEnable << ", printerMode " << s.printerMode << ", paperNearEnd " << s.paperNearEnd
      << ", printingSurface " << s.printingSurface << ", watermarkEnable " << s.watermarkEnable << ", cutPaperMode "
      << s.cutPaperMode << ", watermarkMode " << s.watermarkMode << ", watermarkAlignment " << s.watermarkAlignment
      << ", intlChar " << s.intlChar << ", usbMode " << s.usbMode << ", comDataError " << s.comDataError
      << ", enlarge \"" << s.enlargeHorizontal << "\" x \"" << s.enlargeVertical << "\", paperWidth \""
      << s.paperWidth << "\"}";
}

}  // namespace torva::settings

namespace settings_test {

using torva::settings::Bytes;
using torva::settings::EditorState;

// A dialog state that differs from the start values in every control.
inline EditorState KnownState() {
  EditorState s;
  s.baud = 2;          // "19200"
  s.dataBits = 1;      // "7"
  s.stopBits = 1;      // "2"
  s.parity = 1;        // "Odd"
  s.flow = 0;          // "DTR/DSR"
  s.speed = "120";
  s.darkness = "130";
  s.paperType = 1;     // "Mark/Label"
  s.presenter = 1;     // "Disable"
  s.beeper = 0;        // "On"
  s.autoCutter = 1;    // "Off"
  s.cr = 0;            // "Enable"
  s.stopOnNearEnd = true;
  s.alarmOnNearEnd = false;
  s.paperOutMode = 2;  // "Paper Hold"
  s.feedLine = "300";
  s.waitTime = "15";
  s.autoTime = "500";
  s.autoSpeed = "100";
  return s;
}

// The file of KnownState, written out by hand: the export's record order
// (rows 1 to 13, feed line, presenter, paper out, wait time, auto-loading
// time and speed), each 1B 73 5C 31 E7 08 lo hi address, then the tag.
inline Bytes KnownStateFile(const std::string& tag) {
  const uint8_t rows[][3] = {
      {0x16, 0x01, 0x00},  // baud 19200 -> code 1
      {0x41, 0x00, 0x00},  // DTR/DSR
      {0x17, 0x07, 0x00},  // 7 data bits
      {0x19, 0x02, 0x00},  // 2 stop bits
      {0x1B, 0x01, 0x00},  // odd
      {0x06, 0x78, 0x00},  // speed 120
      {0x02, 0x82, 0x00},  // darkness 130
      {0x12, 0x01, 0x00},  // mark/label
      {0x43, 0x01, 0x00},  // stop printing on near end
      {0x54, 0x00, 0x00},  // no alarm
      {0x30, 0x00, 0x00},  // cutter off
      {0x14, 0x01, 0x00},  // CR enabled
      {0x59, 0x01, 0x00},  // beeper on
      {0x2B, 0x2C, 0x01},  // feed line 300
      {0x3E, 0x00, 0x00},  // presenter disabled
      {0x60, 0x02, 0x00},  // paper hold
      {0x3C, 0x0F, 0x00},  // wait 15 s
      {0x78, 0xF4, 0x01},  // auto-loading time 500
      {0x52, 0x64, 0x00},  // auto-loading speed 100
  };
  Bytes out;
  for (const auto& r : rows) {
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.push_back(r[1]);
    out.push_back(r[2]);
    out.push_back(r[0]);
  }
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// A settings file from (address, lo, hi) rows: each row a record
// 1B 73 5C 31 E7 08 lo hi address, then the tag.
inline Bytes FileOf(std::initializer_list<std::array<uint8_t, 3>> rows, const std::string& tag) {
  Bytes out;
  for (const auto& r : rows) {
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.push_back(r[1]);
    out.push_back(r[2]);
    out.push_back(r[0]);
  }
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// The VD-K305: KnownState with the LED driven by the printer, lit 5 and dark
// 10 (x 20 ms).
inline EditorState KnownK305State() {
  EditorState s = KnownState();
  s.ledMode = 0;  // "Non-Driver Control"
  s.lightTime = "5";
  s.extinctTime = "10";
  return s;
}

// Its file: the VD-K305's record order, the LED time after the darkness and
// the LED mode after the paper type, feed line before the presenter.
inline Bytes KnownK305File() {
  return FileOf({{0x16, 0x01, 0x00},    // baud 19200
                 {0x41, 0x00, 0x00},    // DTR/DSR
                 {0x17, 0x07, 0x00},    // 7 data bits
                 {0x19, 0x02, 0x00},    // 2 stop bits
                 {0x1B, 0x01, 0x00},    // odd
                 {0x06, 0x78, 0x00},    // speed 120
                 {0x02, 0x82, 0x00},    // darkness 130
                 {0xB8, 0x05, 0x0A},    // LED lit 5, dark 10
                 {0x12, 0x01, 0x00},    // mark/label
                 {0xB7, 0x00, 0x00},    // LED: non-driver control
                 {0x43, 0x01, 0x00},    // stop printing on near end
                 {0x54, 0x00, 0x00},    // no alarm
                 {0x30, 0x00, 0x00},    // cutter off
                 {0x14, 0x01, 0x00},    // CR enabled
                 {0x59, 0x01, 0x00},    // beeper on
                 {0x2B, 0x2C, 0x01},    // feed line 300
                 {0x3E, 0x00, 0x00},    // presenter disabled
                 {0x60, 0x02, 0x00},    // paper hold
                 {0x3C, 0x0F, 0x00},    // wait 15 s
                 {0x78, 0xF4, 0x01},    // auto-loading time 500
                 {0x52, 0x64, 0x00}},   // auto-loading speed 100
                "VD-K305ab");
}

// The VD-N512: KnownState for its controls (speed and cutter, hidden, at
// their start values), the bundler disabled and keeping paper, margins 7 and
// 9, code page PC865, a 45-byte receive buffer, no automatic presenting.
inline EditorState KnownN512State() {
  EditorState s = KnownState();
  s.speed = "150";
  s.autoCutter = 0;
  s.paperOutMode = 1;  // "Keep Paper"
  s.leftMargin = "7";
  s.rightMargin = "9";
  s.codePage = 5;      // "PC865"
  s.rxBuffer = 1;      // "45 Bytes"
  s.autoPresent = 1;   // "Disable"
  return s;
}

// Its file: the left margin keyed 4A, the right margin 4E.
inline Bytes KnownN512File() {
  return FileOf({{0x16, 0x01, 0x00},    // baud 19200
                 {0x41, 0x00, 0x00},    // DTR/DSR
                 {0x17, 0x07, 0x00},    // 7 data bits
                 {0x19, 0x02, 0x00},    // 2 stop bits
                 {0x1B, 0x01, 0x00},    // odd
                 {0x4A, 0x07, 0x00},    // left margin 7
                 {0x4E, 0x09, 0x00},    // right margin 9
                 {0x02, 0x82, 0x00},    // darkness 130
                 {0x12, 0x01, 0x00},    // mark/label
                 {0x43, 0x01, 0x00},    // stop printing on near end
                 {0x54, 0x00, 0x00},    // no alarm
                 {0x14, 0x01, 0x00},    // CR enabled
                 {0x59, 0x01, 0x00},    // beeper on
                 {0x6D, 0x05, 0x00},    // PC865
                 {0x7D, 0x01, 0x00},    // 45-byte buffer
                 {0x2B, 0x2C, 0x01},    // feed line 300
                 {0x3E, 0x00, 0x00},    // bundler disabled
                 {0xD5, 0x00, 0x00},    // no automatic presenting
                 {0x60, 0x02, 0x00},    // keep paper
                 {0x3C, 0x0F, 0x00},    // wait 15 s
                 {0x78, 0xF4, 0x01},    // auto-loading time 500
                 {0x52, 0x64, 0x00}},   // auto-loading speed 100
                "VD-N512ab");
}

}  // namespace settings_test
