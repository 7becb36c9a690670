// Every status dialog, for every model it serves, in both languages: no
// caption, label, button or group title is cut off at the dialog's size.
#include <gmock/gmock.h>

#include <functional>

#include "CaptionCheck.h"
#include "StatusFixture.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK512.h"
#include "status/HardwareStatusK772.h"
#include "status/HardwareStatusK773.h"
#include "status/StatusRWK305G2RWMode.h"
#include "status/StatusRWK305G2VDMode.h"

using statustest::StatusTest;
using torva::testing::CaptionProblems;

namespace {

std::string Joined(const QStringList& problems) { return problems.join("\n").toStdString(); }

using StatusCaptions = StatusTest;

TEST_F(StatusCaptions, GenericDialogForEveryModel) {
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    for (int model = 0; model <= 18; ++model) {
      SCOPED_TRACE(std::string(lang) + " model " + std::to_string(model));
      PrinterName = model;
      THardwareStatusForm d(main.get());
      d.SetupForModel(model);
      EXPECT_THAT(CaptionProblems(&d), ::testing::IsEmpty()) << Joined(CaptionProblems(&d));
    }
  }
}

TEST_F(StatusCaptions, ModelDialogsInBothLanguages) {
  struct Case {
    const char* name;
    int model;
    std::function<std::unique_ptr<QDialog>(QWidget*)> make;
  };
  const Case cases[] = {
      {"RW-K305GII VD Mode", 14,
       [](QWidget* p) {
         auto d = std::make_unique<TStatusK305G2VDModeForm>(p);
         d->SetupCaptions();
         return d;
       }},
      {"RW-K305GII RW Mode", 14,
       [](QWidget* p) {
         auto d = std::make_unique<TStatusK305G2RWModeForm>(p);
         d->SetupCaptions();
         return d;
       }},
      {"VD-K512 shutter", 8,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusK512Form>(p);
         d->SetupCaptions();
         return d;
       }},
      {"VD-K772", 11,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusK772Form>(p);
         d->SetupCaptions();
         return d;
       }},
      {"VD-K9034", 13,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusK772Form>(p);
         d->SetupCaptions();
         return d;
       }},
      {"VD-K773 custom", 12,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusK773Form>(p);
         d->SetupCaptions();
         return d;
       }},
  };
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(lang) + " " + c.name);
      PrinterName = c.model;
      auto d = c.make(main.get());
      EXPECT_THAT(CaptionProblems(d.get()), ::testing::IsEmpty()) << Joined(CaptionProblems(d.get()));
    }
  }
}

}  // namespace
