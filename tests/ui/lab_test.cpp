// Desktop program in the network lab: searches started with Ctrl+B against
// simulated devices, the search dialog's progress, its ways of closing, and
// the sorted result.  Runs whole inside a lab's host namespace
// (tests/support/run_in_lab.sh).
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

#include "dslist.h"
#include "lab.h"
#include "main_form.h"
#include "search_form.h"
#include "sort_header.h"
#include "target_form.h"
#include "ui_main.h"
#include "ui_support.h"

using uitest::ClickHeader;
using uitest::ColumnTexts;
using uitest::Poller;
using uitest::WaitUntil;

namespace {

// Pass count 3, pass time 700 ms: the countdown starts at 2 seconds.
const char *const kSettings = "[General]\nSerCnt=3\nSerTim=700\n";
constexpr int kDevices = 6;  // the unknown model is never listed

// What the poller saw on each tick of the search dialog.
struct Tick {
  QString text;
  int rows;
  uint32_t start_tick;
  int32_t timeout;
};

// Search requests the link-a simulator has logged so far.
int SearchRequests()
{
  int n = 0;
  for (const auto &d : velatest::Lab::Enclosing().SimLog('a'))
    n += d.dst.size() > 5 && d.dst.compare(d.dst.size() - 5, 5, ":4800") == 0 && !d.bytes.empty() &&
         d.bytes[0] == 1;
  return n;
}

// Waits until no search thread is left from an earlier test.
void SettleSearch()
{
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 15000));
}

void StartSearchWithCtrlB()
{
  FMain->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(FMain));
  FMain->m_ListView->setFocus();
  QTest::keyClick(FMain->m_ListView, Qt::Key_B, Qt::ControlModifier);  // returns when closed
}

class UiLab : public ::testing::Test {
 protected:
  void SetUp() override
  {
    VELA_LAB_OR_SKIP(velatest::Lab::Enclosing());
    SettleSearch();
  }
};

}  // namespace

TEST_F(UiLab, CtrlBSearchShowsProgressRowsAndResult)
{
  ASSERT_EQ(FMain->SerCnt, 3);
  ASSERT_EQ(FMain->SerTim, 700);
  std::vector<Tick> ticks;
  int result = -1;
  Poller watch([&] {
    if (FSearch && FSearch->isVisible() && ticks.empty())
      QObject::connect(FSearch, &QDialog::finished, [&](int r) { result = r; });
    if (FSearch && FSearch->isVisible())
      ticks.push_back({FSearch->m_enum_msg->text(), FSearch->m_enum_list->rowCount(), FSearch->StartTick,
                       FSearch->TimeoutSeconds});
    return false;
  }, 5);
  StartSearchWithCtrlB();
  EXPECT_EQ(FSearch, nullptr);
  EXPECT_EQ(result, TFSearch::ResultCancel);  // closed by itself at the end
  ASSERT_FALSE(ticks.empty());

  QRegularExpression progress("^Found (\\d+) Vela\\(s\\), remain timeout = (-?\\d+) second\\(s\\)$");
  int max_rows_before_last = 0, restarts = 0;
  for (size_t i = 0; i < ticks.size(); ++i) {
    if (!ticks[i].text.isEmpty()) {
      EXPECT_TRUE(progress.match(ticks[i].text).hasMatch()) << ticks[i].text.toStdString();
    }
    if (ticks[i].rows < kDevices)
      max_rows_before_last = std::max(max_rows_before_last, ticks[i].rows);
    if (i > 0 && ticks[i].start_tick != ticks[i - 1].start_tick) {
      ++restarts;
      EXPECT_NE(ticks[i].rows, ticks[i - 1].rows) << "the countdown restarts only for new devices";
      EXPECT_EQ(ticks[i].timeout, 2);
    }
  }
  EXPECT_EQ(ticks.back().rows, kDevices);
  // Rows came in as devices answered: the late device joined an existing list.
  EXPECT_GE(max_rows_before_last, 1);
  EXPECT_GE(restarts, 2);

  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(v->rowCount(), kDevices);
  EXPECT_EQ(FMain->m_stat_panel->text(), QString("Search Result - %1 Vela(s)").arg(kDevices));
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"1", "2", "3", "4", "5", "6"}));
  QStringList ips = ColumnTexts(v, 3);
  EXPECT_FALSE(ips.contains("192.168.77.27"));
  int hall = ips.indexOf("192.168.77.21");
  ASSERT_GE(hall, 0);
  EXPECT_EQ(v->item(hall, 1)->text(), "VL-2104");
  EXPECT_EQ(v->item(hall, 2)->text(), "02:56:00:00:01:21");
  EXPECT_EQ(ips.last(), "192.168.77.26");  // heard last, in the second pass
}

TEST_F(UiLab, IpColumnSortsNumericallyAndOrderSurvivesASearch)
{
  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(v->rowCount(), kDevices) << "needs the result of the first test";
  ClickHeader(FMain->m_ListView, 3);
  EXPECT_EQ(ColumnTexts(v, 3), QStringList({"10.0.0.1", "192.168.0.1", "192.168.1.9", "192.168.1.10",
                                            "192.168.77.21", "192.168.77.26"}));
  ClickHeader(FMain->m_ListView, 3);
  EXPECT_EQ(ColumnTexts(v, 3), QStringList({"192.168.77.26", "192.168.77.21", "192.168.1.10",
                                            "192.168.1.9", "192.168.0.1", "10.0.0.1"}));
  ClickHeader(FMain->m_ListView, 0);
  ClickHeader(FMain->m_ListView, 0);  // "No" descending
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"6", "5", "4", "3", "2", "1"}));

  StartSearchWithCtrlB();
  ASSERT_EQ(v->rowCount(), kDevices);
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"6", "5", "4", "3", "2", "1"}));
  EXPECT_FALSE(FMain->m_ListHeader->SectionArrow(0).isNull());
  EXPECT_TRUE(FMain->m_ListHeader->SectionArrow(3).isNull());
  ClickHeader(FMain->m_ListView, 0);  // back to ascending
}

// True once the search dialog lists at least 5 devices; *result then gets
// the code the dialog closes with.
bool DialogListsDevices(int *result)
{
  if (!FSearch || !FSearch->isVisible() || FSearch->ShownCount < 5)
    return false;
  QObject::connect(FSearch, &QDialog::finished, [result](int r) { *result = r; });
  return true;
}

// Presses Stop (by mouse, or Enter when by_enter) once devices are listed.
void StopDuringSearch(bool by_enter)
{
  int result = -1, requests_at_stop = -1;
  bool hidden_at_once = false;
  Poller step([&] {
    if (!DialogListsDevices(&result))
      return false;
    requests_at_stop = SearchRequests();
    if (by_enter)
      QTest::keyClick(FSearch, Qt::Key_Return);
    else
      QTest::mouseClick(FSearch->m_stop_enum, Qt::LeftButton);
    hidden_at_once = !FSearch->isVisible();
    return true;
  }, 5);
  StartSearchWithCtrlB();
  EXPECT_TRUE(hidden_at_once);
  EXPECT_EQ(result, TFSearch::ResultYes);
  EXPECT_GE(FMain->m_ListView->rowCount(), 5);  // what was found up to Stop
  // The stop flag ends the search within the pass: no further request.
  SettleSearch();
  EXPECT_EQ(SearchRequests(), requests_at_stop);
}

TEST_F(UiLab, StopClosesAtOnceAndEndsTheSearch) { StopDuringSearch(false); }

TEST_F(UiLab, EnterPressesStop) { StopDuringSearch(true); }

TEST_F(UiLab, EscapeDoesNothingAndTheCloseBoxDoesNotStopTheSearch)
{
  int result = -1, requests_at_close = -1;
  bool open_after_escape = false, hidden_at_once = false;
  Poller step([&] {
    if (!DialogListsDevices(&result))
      return false;
    QTest::keyClick(FSearch, Qt::Key_Escape);
    QTest::qWait(150);
    open_after_escape = FSearch->isVisible();
    requests_at_close = SearchRequests();
    FSearch->close();  // the close box
    hidden_at_once = !FSearch->isVisible();
    return true;
  }, 5);
  StartSearchWithCtrlB();
  EXPECT_TRUE(open_after_escape);
  EXPECT_TRUE(hidden_at_once);
  EXPECT_EQ(result, TFSearch::ResultCancel);
  EXPECT_GE(FMain->m_ListView->rowCount(), 5);
  // The search goes on with its remaining passes, as nothing stopped it.
  EXPECT_TRUE(WaitUntil([&] { return SearchRequests() > requests_at_close; }, 5000));
  SettleSearch();
  // The window stays usable: the next search runs normally.
  StartSearchWithCtrlB();
  EXPECT_EQ(FMain->m_ListView->rowCount(), kDevices);
}

// Search Address... with one device's address: a directed search that
// reaches that device alone (a request to its own address), after which the
// list shows it and the status counts the rows.
TEST_F(UiLab, SearchAddressFindsOneDevice)
{
  bool asked = false;
  int sightings = 0;  // answered once up for a while, inside its own loop
  Poller answer([&] {
    auto *ask = qobject_cast<TFTarget *>(QApplication::activeModalWidget());
    if (!ask || !ask->isVisible() || ++sightings < 5)
      return false;
    ask->m_target_edit->setText("192.168.77.21");
    QTest::mouseClick(ask->m_search_button, Qt::LeftButton);
    asked = true;
    return true;
  });
  size_t logged = velatest::Lab::Enclosing().SimLog('a').size();
  FMain->m_target_action->trigger();  // returns when the search has ended
  ASSERT_TRUE(asked);
  QTableWidget *v = FMain->m_ListView;
  EXPECT_TRUE(ColumnTexts(v, 3).contains("192.168.77.21"));
  EXPECT_EQ(FMain->m_stat_panel->text(), QString("Search Result - %1 Vela(s)").arg(v->rowCount()));
  std::vector<velatest::SimDatagram> log = velatest::Lab::Enclosing().SimLog('a');
  int directed = 0, broadcast = 0;
  for (size_t i = logged; i < log.size(); ++i) {
    directed += log[i].dst == "192.168.77.21:4800";
    broadcast += log[i].dst == "255.255.255.255:4800";
  }
  EXPECT_GE(directed, 1);
  EXPECT_EQ(broadcast, 0);
  SettleSearch();
  StartSearchWithCtrlB();  // back to the broadcast result for the tests after
  EXPECT_EQ(v->rowCount(), kDevices);
}

// The broadcast or network address of a subnet the host is on is no device:
// Search Address refuses it with the reason under the text box, and a
// prefix wholly on that subnet too (a broadcast search reaches it).
TEST_F(UiLab, SearchAddressRefusesTheHostsOwnSubnet)
{
  TFTarget ask;
  const struct {
    const char *text, *why;
  } cases[] = {
      {"192.168.77.255", "'192.168.77.255' is the broadcast address of the connected subnet 192.168.77.0/24 "
                         "(a search without a target broadcasts)"},
      {"192.168.77.0", "'192.168.77.0' is the network address of the connected subnet 192.168.77.0/24 "
                       "(a search without a target broadcasts)"},
      {"192.168.77.0/25", "every address of '192.168.77.0/25' is on the connected subnet 192.168.77.0/24: "
                          "a search without a target (broadcast) reaches them"},
  };
  for (const auto &c : cases) {
    ask.m_target_edit->setText(c.text);
    EXPECT_FALSE(ask.TakeTarget()) << c.text;
    EXPECT_EQ(ask.m_target_error->text().toStdString(), c.why);
  }
  ask.m_target_edit->setText("192.168.76.0/22");
  ASSERT_TRUE(ask.TakeTarget());
  EXPECT_EQ(ask.Notice.toStdString(), "192.168.76.0/22: the addresses on the connected subnet 192.168.77.0/24 are "
                                      "left out: a search without a target (broadcast) reaches them");
  ask.m_target_edit->setText("192.168.77.21");
  EXPECT_TRUE(ask.TakeTarget()) << "one device on the subnet is searched";
  EXPECT_TRUE(ask.Notice.isEmpty());
}

// 128 devices on link a answering 2 ms apart: a search that lasts about a
// quarter of a second, with devices still arriving when the dialog is closed
// early.
std::string ManyDevicesIni()
{
  std::string ini;
  char text[200];
  for (int i = 0; i < 128; ++i) {
    std::snprintf(text, sizeof text,
                  "[many%d]\nip = 192.168.77.%d\napid = 0x00560001\nhwid = 0x2104\n"
                  "mac = 02:56:00:00:02:%02x\ndelay_ms = %d\n\n",
                  i, 100 + i, i, 2 * i);
    ini += text;
  }
  return ini;
}

// After the close box during a search whose devices are still arriving,
// the status count is the number of rows, every time; the devices heard
// after the merge are not lost: the next search lists them.  Last, as it
// replaces the lab's devices.
TEST_F(UiLab, ZStatusCountsTheRowsAfterTheCloseBoxWhileDevicesArrive)
{
  ASSERT_TRUE(velatest::Lab::Enclosing().LoadSimText(ManyDevicesIni())) << velatest::Lab::Enclosing().error();
  QTableWidget *v = FMain->m_ListView;
  int late_rounds = 0;
  for (int round = 0; round < 40; ++round) {
    Poller close_early([] {
      if (!FSearch || !FSearch->isVisible() || DsList.FoundCount() < 40)
        return false;
      FSearch->close();  // the close box: the search goes on
      return true;
    }, 2);
    StartSearchWithCtrlB();
    ASSERT_TRUE(close_early.finished());
    int rows = v->rowCount();
    EXPECT_EQ(FMain->m_stat_panel->text().toStdString(),
              QString("Search Result - %1 Vela(s)").arg(rows).toStdString()) << "round " << round;
    EXPECT_LT(rows, 128) << "closed while devices were still arriving";
    SettleSearch();
    late_rounds += DsList.FoundCount() > rows;  // heard after the merge
    EXPECT_EQ(v->rowCount(), rows);
  }
  EXPECT_GT(late_rounds, 0);
  StartSearchWithCtrlB();  // a whole search: every device, also the late ones
  EXPECT_EQ(v->rowCount(), 128);
  EXPECT_EQ(FMain->m_stat_panel->text().toStdString(), "Search Result - 128 Vela(s)");
}

int main(int argc, char **argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (velatest::Lab::Enclosing().ok())
    ::testing::AddGlobalTestEnvironment(new uitest::UiEnvironment({"", kSettings}));
  return RUN_ALL_TESTS();
}
