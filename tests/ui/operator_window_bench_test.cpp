// The whole window on the bench: real SSH, VXI-11, discovery and scripts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QTest>

#include "core/updater_controller.h"
#include "tests/support/bench_env.h"
#include "tests/ui/qt_application_support.h"
#include "ui/operator_window.h"

namespace {

constexpr int kOperationMs = 240000;

class WindowBenchTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { OffscreenApplication(); }

  void SetUp() override {
    WindowOptions options;
    options.openLog = false;
    window_ = std::make_unique<CInstrumentUpdaterDlg>(options);
    window_->Open();
  }

  OperatorDialog& Dialog() { return window_->Dialog(); }
  std::string Text(int id) { return Dialog().GetText(id); }

  void SetAddress(const char* dotted) {
    unsigned a, b, c, d;
    ASSERT_EQ(std::sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d), 4);
    const unsigned char parts[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    Dialog().SetAddress(parts);
    window_->Presenter().OnChoiceChanged();
  }

  // Presses a button and waits until the operation it started has ended.
  void Press(int id) {
    auto* button = static_cast<QAbstractButton*>(Dialog().Control(id));
    ASSERT_TRUE(button->isEnabled());
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(Dialog().Control(IdcConnect)->isEnabled(), kOperationMs);
    QTest::qWait(50);
  }

  MessageBoxCatcher boxes_;
  std::unique_ptr<CInstrumentUpdaterDlg> window_;  // an unexpected question must not hang the run
};

struct Family {
  const char* name;
  const char* address;
  const char* model;
  const char* serial;
  int code;
  const char* knobs = nullptr;  // "INSTRUMENT KNOB=VALUE...": a flavour, put back afterwards
};

// Sets a flavour's knobs for one test and clears them however it ends.
struct FlavourScope {
  explicit FlavourScope(const char* knobs) : instrument_(knobs != nullptr ? std::string(knobs).substr(0, 2) : "") {
    if (knobs != nullptr) EXPECT_EQ(bench::Run(std::string("ctl ") + knobs), 0);
  }
  ~FlavourScope() {
    if (!instrument_.empty()) EXPECT_EQ(bench::Run("ctl " + instrument_ + " reset"), 0);
  }

 private:
  std::string instrument_;
};

class WindowConnectBench : public WindowBenchTest, public testing::WithParamInterface<Family> {};

TEST_P(WindowConnectBench, ConnectShowsTheInstrumentsSixIdentityFieldsAndItsFamily) {
  REQUIRE_BENCH();
  FlavourScope flavour(GetParam().knobs);
  SetAddress(GetParam().address);
  Press(IdcConnect);
  EXPECT_EQ(Text(IdcStatus), "Connection established.");
  EXPECT_EQ(Text(IdcModelNumber), GetParam().model);
  EXPECT_EQ(Text(IdcSerialNumber), GetParam().serial);
  // The versions come from the instrument's package-version file.
  for (int id : {IdcPackageVersion, IdcDriverVersion, IdcScpiVersion, IdcUiVersion}) {
    EXPECT_FALSE(Text(id).empty()) << id;
    EXPECT_NE(Text(id), "--.--.--") << id;
  }
  EXPECT_FALSE(Text(IdcHostName).empty());
  EXPECT_EQ(window_->Controller().familyCode, GetParam().code);
  EXPECT_TRUE(boxes_.texts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Families, WindowConnectBench,
                         testing::Values(Family{"kfw", bench::kI1, "TVS-8010", "TV8010A0001", 1},
                                         Family{"kf4", bench::kI2, "TVS-9020", "TV9020B0002", 2},
                                         Family{"kfwOnDropbearAndBusyBox", bench::kI1, "TVS-8010",
                                                "TV8010A0001", 1, "i1 ssh=dropbear scp=none"}),
                         [](const testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

TEST_F(WindowBenchTest, DiscoveryListsTheConfiguredInstrumentsAndConnectsToTheFirst) {
  REQUIRE_BENCH();
  QTest::mouseClick(Dialog().Control(IdcDiscoveryMode), Qt::LeftButton);
  Press(IdcDiscovery);
  // The sample configuration lists the TVS-80 and TVS-90 types: i1 to i3,
  // not i4.
  auto* list = static_cast<QComboBox*>(Dialog().Control(IdcInstrumentList));
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  const std::string all = entries.join("\n").toStdString();
  for (const char* entry : {"198.18.0.11 (Tavrin,TVS-8010,TV8010A0001,2.4.1)",
                            "198.18.0.12 (Tavrin,TVS-9020,TV9020B0002,3.1.0)",
                            "198.18.0.13 (Tavrin,TVS-8010,TV8010A0003,2.4.1)"})
    EXPECT_NE(all.find(entry), std::string::npos) << entry << " in\n" << all;
  EXPECT_EQ(all.find("TVX-100"), std::string::npos) << all;
  ASSERT_GT(list->count(), 0);
  EXPECT_EQ(Dialog().ListSelected(), 0);
  Press(IdcConnect);
  EXPECT_EQ(Text(IdcStatus), "Connection established.");
  EXPECT_EQ(window_->Controller().targetAddress,
            list->currentText().section(' ', 0, 0).toStdString());
  EXPECT_EQ(Text(IdcModelNumber).rfind("TVS-", 0), 0u);
}

}  // namespace
