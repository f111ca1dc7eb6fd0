// Desktop program without a network: run in a namespace of its own that has
// only a loopback interface, so the network layer cannot start.  Devices are
// handed to the device list the way the search thread hands them over.
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "about_box.h"
#include "app.h"
#include "arrows.h"
#include "countdown.h"
#include "frame_fit.h"
#include "dslist.h"
#include "main_form.h"
#include "netns.h"
#include "result_format.h"
#include "result_share.h"
#include "modeltable.h"
#include "search_form.h"
#include "search_settings.h"
#include "sort_header.h"
#include "target_form.h"
#include "texttable.h"
#include "ui_main.h"
#include "ui_support.h"
#include "wire_text.h"
#include "warning_box.h"

using uitest::Boxes;
using uitest::ClickHeader;
using uitest::ColumnTexts;
using uitest::MakeInfo;

namespace {

const QString kModelWarning = "model_name.ini not found\n";
const QString kSocketError = "Initial Socket Error!";

// Boxes seen while the main window was created and first shown.
std::vector<uitest::SeenBox> g_startup_boxes;

class StartupRecorder : public ::testing::Environment {
 public:
  void SetUp() override { g_startup_boxes = Boxes().boxes; }
};

// Ends any search and hands the given devices over as one search's replies,
// then lets the main window take the result over as after a search.
void FakeSearch(const std::vector<_DSNETINFO> &devices)
{
  DsList.StartSearch(-1, 1, 1);  // no interface: ends at once, sends nothing
  ASSERT_TRUE(uitest::WaitUntil([] { return DsList.IsSearchDone(); }, 5000));
  for (_DSNETINFO info : devices)
    TDsList::OnSearchReply(&info);
  DsList.FinishSearch(false);
  FMain->FillDeviceList();
  FMain->UpdateStatusText();
}

bool SameImage(const QPixmap &a, const QPixmap &b)
{
  return !a.isNull() && !b.isNull() && a.toImage() == b.toImage();
}

// Arrow states of the four headers: 'u' up, 'd' down, '-' none.
std::string Arrows()
{
  std::string s;
  for (int c = 0; c < 4; ++c) {
    QPixmap p = FMain->m_ListHeader->SectionArrow(c);
    s += p.isNull() ? '-' : SameImage(p, FMain->m_arrow_up) ? 'u' : SameImage(p, FMain->m_arrow_down) ? 'd' : '?';
  }
  return s;
}

const uint32_t kApid = 0x00560001;  // built-in series VL-21xx

}  // namespace

TEST(Isolation, RunsInANamespaceWithLoopbackOnly)
{
  ASSERT_TRUE(velatest::InLoopbackOnlyNamespace()) << "run through run_isolated.sh (unshare -n)";
}

TEST(StartUp, InitialStateOfTheMainWindow)
{
  EXPECT_EQ(FMain->windowTitle(), "Vela Finder");
  EXPECT_EQ(FMain->frameGeometry(), QRect(242, 122, 696, 480));
  EXPECT_EQ(QApplication::applicationName(), "VELA FINDER");
  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(v->columnCount(), 4);
  const char *captions[] = {"No", "Model", "MAC Address", "IP Address"};
  const int widths[] = {70, 105, 105, 105};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(v->horizontalHeaderItem(c)->text(), captions[c]);
    EXPECT_EQ(v->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(Arrows(), "u---");
  EXPECT_EQ(FMain->m_stat_panel->text(), "Search Result -  0 Vela(s)");
  EXPECT_TRUE(FMain->m_stat_panel->toolTip().isEmpty());  // no address left out
  EXPECT_EQ(v->rowCount(), 0);
  EXPECT_TRUE(v->showGrid());
  EXPECT_EQ(v->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(v->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(v->editTriggers(), QAbstractItemView::NoEditTriggers);
  // No settings file: the defaults.
  EXPECT_EQ(FMain->SerCnt, 5);
  EXPECT_EQ(FMain->SerTim, 1000);
  EXPECT_FALSE(std::filesystem::exists(uitest::Paths().config_home + "/Vela"));
}

// The outer size, frame included, is 696 x 480 once the frame is known: at
// the first showing where the platform knows the frame then (the offscreen
// platform does, for the main window), or later, when a window manager
// reports it only after the showing (played here by a window that gets its
// frame after it was first shown).  Only the first report counts: a size
// the user chose later stays.
TEST(StartUp, OuterSizeFitsTheFrameOnceItIsKnown)
{
  EXPECT_EQ(ClientSizeForOuter(QSize(696, 480), QMargins(1, 24, 1, 1)), QSize(694, 455));
  EXPECT_EQ(ClientSizeForOuter(QSize(696, 480), QMargins(4, 30, 6, 2)), QSize(686, 448));
  EXPECT_EQ(ClientSizeForOuter(QSize(696, 480), QMargins()), QSize(696, 480));
  QMargins frame = FMain->windowHandle()->frameMargins();
  ASSERT_FALSE(frame.isNull()) << "the offscreen platform draws a frame";
  EXPECT_EQ(FMain->size(), ClientSizeForOuter(QSize(696, 480), frame));
  EXPECT_EQ(FMain->frameGeometry().size(), QSize(696, 480));
  EXPECT_TRUE(FMain->m_frame_fit->fitted());

  QWidget late;
  late.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  late.resize(696, 480);
  auto *fit = new TFrameFit(&late, QSize(696, 480));
  late.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&late));
  ASSERT_TRUE(late.windowHandle()->frameMargins().isNull());
  QTest::qWait(150);
  EXPECT_FALSE(fit->fitted());  // no frame yet: nothing to fit
  EXPECT_EQ(late.size(), QSize(696, 480));
  // The frame arrives: the platform window is made again, now with a frame.
  late.hide();
  late.windowHandle()->destroy();
  late.setWindowFlags(Qt::Window);
  late.show();
  ASSERT_FALSE(late.windowHandle()->frameMargins().isNull());
  EXPECT_TRUE(uitest::WaitUntil([&] { return fit->fitted(); }, 5000));
  EXPECT_EQ(late.frameGeometry().size(), QSize(696, 480));
  late.resize(600, 400);  // the user's size
  late.move(late.pos() + QPoint(1, 1));
  QTest::qWait(250);
  EXPECT_EQ(late.size(), QSize(600, 400));
  EXPECT_FALSE(fit->Fit(QMargins(4, 30, 4, 4)));
  EXPECT_EQ(late.size(), QSize(600, 400));
}

TEST(StartUp, MenusToolBarAndKeys)
{
  QList<QAction *> top = FMain->menuBar()->actions();
  ASSERT_EQ(top.size(), 3);
  EXPECT_EQ(top[0]->text(), "&File");
  EXPECT_EQ(top[1]->text(), "F&unction");
  EXPECT_EQ(top[2]->text(), "&About");
  EXPECT_EQ(top[2]->menu(), nullptr);  // About acts at once
  ASSERT_EQ(FMain->m_menu_file->actions().size(), 2);
  EXPECT_EQ(FMain->m_menu_file->actions()[0]->text(), "Exit");
  EXPECT_EQ(FMain->m_menu_file->actions()[1]->text(), "Save Result As...");  // new items after the old
  EXPECT_EQ(FMain->m_save_action->shortcut(), QKeySequence("Ctrl+S"));
  EXPECT_EQ(FMain->m_act_exit->shortcut(), QKeySequence("Alt+X"));
  EXPECT_EQ(FMain->m_brdc_action->text(), "&Broadcast Search");
  EXPECT_EQ(FMain->m_brdc_action->shortcut(), QKeySequence("Ctrl+B"));
  auto *button = qobject_cast<QToolButton *>(FMain->m_tool_bar->widgetForAction(FMain->m_brdc_action));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->height(), 36);
  EXPECT_GE(button->width(), 92);  // wider only when the font needs it
  EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
  EXPECT_EQ(button->text(), "Broadcast Search");
  EXPECT_EQ(button->toolTip(), "Broadcast Search");
  EXPECT_FALSE(button->icon().isNull());
  EXPECT_EQ(FMain->m_tool_bar->height(), 38);
  EXPECT_EQ(FMain->menuBar()->height(), 21);
  EXPECT_EQ(FMain->statusBar()->height(), 19);
  // The 36-pixel button fits the 38-pixel bar whole, then an 8-pixel
  // separator follows it.
  EXPECT_TRUE(FMain->m_tool_bar->rect().contains(button->geometry()))
      << button->y() << "+" << button->height() << " in " << FMain->m_tool_bar->height();
  QList<QAction *> tools = FMain->m_tool_bar->actions();
  ASSERT_EQ(tools.size(), 2);
  EXPECT_EQ(tools[0], FMain->m_brdc_action);
  ASSERT_TRUE(tools[1]->isSeparator());
  QWidget *separator = FMain->m_tool_bar->widgetForAction(tools[1]);
  ASSERT_NE(separator, nullptr);
  EXPECT_EQ(separator->width(), 8);
  EXPECT_GT(separator->x(), button->geometry().right());
}

// The window offers no commands beyond its menus and tool bar: a right click
// on the tool bar or the menu bar opens nothing (no menu to hide the tool bar).
TEST(StartUp, RightClickOnTheBarsOpensNoMenu)
{
  for (QWidget *bar : {static_cast<QWidget *>(FMain->m_tool_bar), static_cast<QWidget *>(FMain->menuBar())}) {
    QPoint at(bar->width() - 4, bar->height() / 2);  // past the last button
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, bar->mapToGlobal(at));
    QApplication::sendEvent(bar, &event);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << bar->metaObject()->className();
    while (QWidget *popup = QApplication::activePopupWidget())
      popup->close();
  }
  EXPECT_TRUE(FMain->m_tool_bar->isVisible());
  FMain->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(FMain));
}

TEST(StartUp, SocketErrorShownExactlyOnceAndModelWarningOnce)
{
  int socket_errors = 0, model_warnings = 0;
  for (const auto &b : g_startup_boxes) {
    socket_errors += b.text == kSocketError;
    model_warnings += b.text == kModelWarning;
    EXPECT_EQ(b.title, "Warning");
    EXPECT_EQ(b.icon, QMessageBox::Warning);
    EXPECT_EQ(b.buttons, QStringList{"OK"});
  }
  EXPECT_EQ(socket_errors, 1);
  EXPECT_EQ(model_warnings, 1);
  EXPECT_TRUE(FMain->isVisible());
}

TEST(Arrows, ListImagesArePixelExact)
{
  QImage up = ArrowListImage(true), down = ArrowListImage(false);
  ASSERT_EQ(up.size(), QSize(16, 16));
  const QRgb grey = qRgb(132, 132, 132), white = qRgb(255, 255, 255);
  auto at = [](const QImage &img, int row, int col) { return img.pixel(col, row); };
  // Apex two pixels wide in rows 4 and 5.
  for (int row : {4, 5}) {
    EXPECT_EQ(at(up, row, 7), grey);
    EXPECT_EQ(at(up, row, 8), white);
    EXPECT_EQ(qAlpha(at(up, row, 6)), 0);
    EXPECT_EQ(qAlpha(at(up, row, 9)), 0);
  }
  // Sides one pixel wider on each side every two rows; inside transparent.
  EXPECT_EQ(at(up, 7, 6), grey);
  EXPECT_EQ(at(up, 7, 9), white);
  EXPECT_EQ(qAlpha(at(up, 7, 7)), 0);
  EXPECT_EQ(at(up, 11, 4), grey);
  EXPECT_EQ(at(up, 11, 11), white);
  // Base: ten white pixels in row 12, columns 3 to 12.
  for (int col = 0; col < 16; ++col)
    EXPECT_EQ(at(up, 12, col), (col >= 3 && col <= 12) ? white : 0u) << col;
  for (int row : {0, 1, 2, 3, 13, 14, 15})
    for (int col = 0; col < 16; ++col)
      EXPECT_EQ(qAlpha(at(up, row, col)), 0) << row << "," << col;
  // The down arrow is the mirror image: base in row 3, apex in rows 10, 11.
  for (int row = 0; row < 16; ++row)
    for (int col = 0; col < 16; ++col)
      EXPECT_EQ(at(down, row, col), at(up, 15 - row, col));
  // The header arrow: the face colour with the image on top.
  QImage header = MakeHeaderArrow(true, QColor(10, 20, 30)).toImage();
  EXPECT_EQ(header.pixel(0, 0), qRgb(10, 20, 30));
  EXPECT_EQ(header.pixel(7, 4), grey);
  EXPECT_EQ(header.pixel(3, 12), white);
  // It stands at the right of the caption, inside the header section.
  QRect r = FMain->m_ListHeader->ArrowRect(0);
  EXPECT_EQ(r.size(), QSize(16, 16));
  int caption_end = FMain->m_ListHeader->fontMetrics().horizontalAdvance("No");
  EXPECT_GT(r.left(), caption_end);
  EXPECT_LE(r.right(), FMain->m_ListView->columnWidth(0));
}

// The header arrows show on the style's own button colour: every outline
// pixel of the list image stands out from the face, every other pixel is
// the face, and the left side stays darker than the right side and base.
TEST(Arrows, HeaderArrowsShowOnTheButtonFace)
{
  auto check = [](const QPixmap &arrow, bool up, const QColor &face) {
    QImage shape = ArrowListImage(up), img = arrow.toImage();
    ASSERT_EQ(img.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        QRgb p = img.pixel(x, y);
        if (qAlpha(shape.pixel(x, y)) == 0)
          EXPECT_EQ(p, face.rgb()) << x << "," << y;
        else
          EXPECT_GE(std::abs(qGray(p) - qGray(face.rgb())), 40)
              << x << "," << y << " on face " << face.name().toStdString();
      }
    int apex = up ? 4 : 11;
    EXPECT_LT(qGray(img.pixel(7, apex)), qGray(img.pixel(8, apex))) << face.name().toStdString();
  };
  QColor face = FMain->m_ListHeader->palette().color(QPalette::Button);
  check(FMain->m_arrow_up, true, face);
  check(FMain->m_arrow_down, false, face);
  for (QColor f : {QColor(239, 239, 239), QColor(255, 255, 255), QColor(212, 208, 200), QColor(128, 128, 128),
                   QColor(53, 53, 53), QColor(10, 20, 30)}) {
    check(MakeHeaderArrow(true, QPalette(f)), true, f);
    check(MakeHeaderArrow(false, QPalette(f)), false, f);
  }
  // Where the list image's own colours show, they are kept.
  QImage classic = MakeHeaderArrow(true, QPalette(QColor(212, 208, 200))).toImage();
  EXPECT_EQ(classic.pixel(7, 4), qRgb(132, 132, 132));
  EXPECT_EQ(classic.pixel(3, 12), qRgb(255, 255, 255));
}

TEST(Sorting, HeaderClicksAndTheComparison)
{
  FakeSearch({MakeInfo(kApid, 0x2104, "192.168.1.10", 1), MakeInfo(kApid, 0x2108, "192.168.1.9", 2),
              MakeInfo(kApid, 0x2116, "0.0.0.0", 3), MakeInfo(kApid, 0x2124, "192.168.0.1", 4),
              MakeInfo(kApid, 0x2104, "10.0.0.1", 5)});
  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(v->rowCount(), 5);
  EXPECT_EQ(FMain->m_stat_panel->text(), "Search Result - 5 Vela(s)");
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"1", "2", "3", "4", "5"}));
  EXPECT_EQ(ColumnTexts(v, 1), QStringList({"VL-2104", "VL-2108", "VL-2116", "VL-2124", "VL-2104"}));
  EXPECT_EQ(ColumnTexts(v, 2).first(), "02:00:00:00:00:01");

  ClickHeader(FMain->m_ListView, 3);  // first click: ascending, numeric; 0.0.0.0 (empty) first
  EXPECT_EQ(ColumnTexts(v, 3),
            QStringList({"", "10.0.0.1", "192.168.0.1", "192.168.1.9", "192.168.1.10"}));
  EXPECT_EQ(Arrows(), "---u");
  ClickHeader(FMain->m_ListView, 3);  // second click reverses
  EXPECT_EQ(ColumnTexts(v, 3),
            QStringList({"192.168.1.10", "192.168.1.9", "192.168.0.1", "10.0.0.1", ""}));
  EXPECT_EQ(Arrows(), "---d");
  ClickHeader(FMain->m_ListView, 0);  // another column starts ascending
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"1", "2", "3", "4", "5"}));
  EXPECT_EQ(Arrows(), "u---");
  ClickHeader(FMain->m_ListView, 0);
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"5", "4", "3", "2", "1"}));
  EXPECT_EQ(Arrows(), "d---");

  // The order survives the next search: "No" descending again.
  FakeSearch({MakeInfo(kApid, 0x2104, "192.168.77.30", 7), MakeInfo(kApid, 0x2108, "192.168.77.31", 8),
              MakeInfo(kApid, 0x2116, "192.168.77.32", 9)});
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"3", "2", "1"}));
  EXPECT_EQ(ColumnTexts(v, 3), QStringList({"192.168.77.32", "192.168.77.31", "192.168.77.30"}));
  EXPECT_EQ(Arrows(), "d---");
  EXPECT_EQ(FMain->m_stat_panel->text(), "Search Result - 3 Vela(s)");
}

TEST(Sorting, EqualAddressesNeverCompareEqual)
{
  FMain->SortColumn = 0;
  FMain->SetSortColumn(0, SortAscending);
  FakeSearch({MakeInfo(kApid, 0x2104, "192.168.5.5", 1), MakeInfo(kApid, 0x2108, "192.168.5.5", 2)});
  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(v->rowCount(), 2);
  QList<QTableWidgetItem *> r0{v->item(0, 0), v->item(0, 1), v->item(0, 2), v->item(0, 3)};
  QList<QTableWidgetItem *> r1{v->item(1, 0), v->item(1, 1), v->item(1, 2), v->item(1, 3)};
  FMain->SortColumn = 3;
  EXPECT_EQ(FMain->m_ListViewCompare(r0, r1, 1), -1);
  EXPECT_EQ(FMain->m_ListViewCompare(r1, r0, 1), -1);
  EXPECT_EQ(FMain->m_ListViewCompare(r0, r1, 0), 1);
  FMain->SortColumn = 0;
  EXPECT_LT(FMain->m_ListViewCompare(r0, r1, 1), 0);
  EXPECT_GT(FMain->m_ListViewCompare(r0, r1, 0), 0);
  ClickHeader(FMain->m_ListView, 3);
  ClickHeader(FMain->m_ListView, 3);
  EXPECT_EQ(v->rowCount(), 2);
  FMain->SetSortColumn(0, SortAscending);
  FMain->SortColumn = 0;
}

TEST(Sorting, ModelColumnIsCaseSensitiveCollation)
{
  std::string path = uitest::TempDir() + "/models.ini";
  std::ofstream(path) << "[a]\nmodel_name = Beta\napid = 77\nhwid = 1\n"
                         "[b]\nmodel_name = beta\napid = 77\nhwid = 2\n"
                         "[c]\nmodel_name = alpha\napid = 77\nhwid = 3\n"
                         "[d]\nmodel_name = Gamma\napid = 77\nhwid = 4\n";
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  FakeSearch({MakeInfo(0x77, 1, "192.168.9.1", 1), MakeInfo(0x77, 2, "192.168.9.2", 2),
              MakeInfo(0x77, 3, "192.168.9.3", 3), MakeInfo(0x77, 4, "192.168.9.4", 4)});
  ClickHeader(FMain->m_ListView, 1);
  QStringList asc = ColumnTexts(FMain->m_ListView, 1);
  EXPECT_EQ(asc.first(), "alpha");
  EXPECT_EQ(asc.last(), "Gamma");  // locale order, not code points ("G" < "a")
  // "Beta" and "beta" differ under a case-sensitive collation, so their
  // order is fixed whatever order they came in.
  QCollator c;
  c.setCaseSensitivity(Qt::CaseSensitive);
  ASSERT_NE(c.compare("Beta", "beta"), 0);
  QStringList middle{"Beta", "beta"};
  if (c.compare("Beta", "beta") > 0)
    middle = {"beta", "Beta"};
  EXPECT_EQ(asc.mid(1, 2), middle);
  ClickHeader(FMain->m_ListView, 1);
  QStringList desc = ColumnTexts(FMain->m_ListView, 1);
  std::reverse(desc.begin(), desc.end());
  EXPECT_EQ(desc, asc);
  ResetModelTable();
  ClickHeader(FMain->m_ListView, 0);
}

// Rows with equal Model texts keep their order between themselves, in both
// directions: the comparison answers 0 for them and the sort is stable.
TEST(Sorting, EqualModelsKeepTheirOrderAscendingAndDescending)
{
  ClickHeader(FMain->m_ListView, 0);
  if (ColumnTag(FMain->m_ListView, 0) != SortAscending)
    ClickHeader(FMain->m_ListView, 0);
  const uint16_t hwids[] = {0x2104, 0x2108, 0x2104, 0x2104, 0x2108, 0x2104, 0x2104, 0x2108, 0x2104};
  std::vector<_DSNETINFO> devices;
  for (uint8_t i = 0; i < 9; ++i)
    devices.push_back(MakeInfo(kApid, hwids[i], ("192.168.6." + std::to_string(i + 1)).c_str(), 0x40 + i));
  FakeSearch(devices);
  QTableWidget *v = FMain->m_ListView;
  ASSERT_EQ(ColumnTexts(v, 0), QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  ClickHeader(v, 1);  // Model ascending: VL-2104 rows, then VL-2108, each in "No" order
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"1", "3", "4", "6", "7", "9", "2", "5", "8"}));
  ClickHeader(v, 1);  // descending: the groups swap, the order inside each stays
  EXPECT_EQ(ColumnTexts(v, 0), QStringList({"2", "5", "8", "1", "3", "4", "6", "7", "9"}));
  EXPECT_EQ(ColumnTexts(v, 1).first(), "VL-2108");
  ClickHeader(v, 0);
}

// The status bar counts the rows shown, also when the result list and the
// found list hold different devices: a device kept from an earlier search
// (DSF_FIXED), and a device the search thread adds after the merge.
TEST(ListView, StatusCountIsTheRowCount)
{
  auto shown = [] {
    return QString("Search Result - %1 Vela(s)").arg(FMain->m_ListView->rowCount()).toStdString();
  };
  auto status = [] { return FMain->m_stat_panel->text().toStdString(); };
  std::vector<_DSNETINFO> kept = {MakeInfo(kApid, 0x2104, "192.168.8.1", 0x81),
                                  MakeInfo(kApid, 0x2108, "192.168.8.2", 0x82)};
  DsList.StartSearch(-1, 1, 1);
  ASSERT_TRUE(uitest::WaitUntil([] { return DsList.IsSearchDone(); }, 5000));
  for (_DSNETINFO info : kept)
    TDsList::OnSearchReply(&info);
  DsList.FinishSearch(true);  // both marked fixed: the next search keeps them
  FakeSearch({MakeInfo(kApid, 0x2116, "192.168.8.3", 0x83)});
  ASSERT_EQ(DsList.FoundCount(), 1);
  EXPECT_EQ(FMain->m_ListView->rowCount(), 3);
  EXPECT_EQ(status(), shown());
  EXPECT_EQ(status(), "Search Result - 3 Vela(s)");

  // A reply taken in after the merge: the found list grows, the rows stay.
  FakeSearch(kept);  // clears the marks: later searches drop these devices
  ASSERT_EQ(FMain->m_ListView->rowCount(), 2);
  _DSNETINFO late = MakeInfo(kApid, 0x2124, "192.168.8.4", 0x84);
  TDsList::OnSearchReply(&late);
  ASSERT_EQ(DsList.FoundCount(), 3);
  FMain->UpdateStatusText();
  EXPECT_EQ(status(), shown());
  EXPECT_EQ(status(), "Search Result - 2 Vela(s)");
  // The late device is not lost: the next search that hears it lists it.
  FakeSearch({late});
  EXPECT_EQ(uitest::ColumnTexts(FMain->m_ListView, 3), QStringList({"192.168.8.4"}));
  EXPECT_EQ(status(), "Search Result - 1 Vela(s)");
}

TEST(ListView, CtrlASelectsAllRowsAlsoWithShift)
{
  QTableWidget *v = FMain->m_ListView;
  FakeSearch({});
  v->setFocus();
  QTest::keyClick(v, Qt::Key_A, Qt::ControlModifier);  // no rows: nothing happens
  EXPECT_TRUE(v->selectionModel()->selectedRows().isEmpty());
  FakeSearch({MakeInfo(kApid, 0x2104, "192.168.3.1", 1), MakeInfo(kApid, 0x2108, "192.168.3.2", 2),
              MakeInfo(kApid, 0x2116, "192.168.3.3", 3)});
  v->clearSelection();
  QTest::keyClick(v, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(v->selectionModel()->selectedRows().size(), 3);
  v->clearSelection();
  QTest::keyClick(v, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(v->selectionModel()->selectedRows().size(), 3);
  v->clearSelection();
  QTest::keyClick(v, Qt::Key_A);  // plain A does not select all
  EXPECT_LT(v->selectionModel()->selectedRows().size(), 3);
  // Cells cannot be edited.
  v->setCurrentCell(0, 1);
  QTest::keyClick(v, Qt::Key_F2);
  EXPECT_FALSE(v->item(0, 1)->flags() & Qt::ItemIsEditable);
  for (QLineEdit *editor : v->findChildren<QLineEdit *>())
    EXPECT_FALSE(editor->isVisible());
}

// Rows of the sharing tests: shown sorted by IP address descending, so that
// view order differs from the "No" order.
void ShowShareRows()
{
  FakeSearch({MakeInfo(kApid, 0x2104, "192.168.1.10", 0x11), MakeInfo(kApid, 0x2108, "192.168.1.9", 0x12),
              MakeInfo(kApid, 0x2116, "10.0.0.1", 0x13)});
  ClickHeader(FMain->m_ListView, 3);
  ClickHeader(FMain->m_ListView, 3);
  ASSERT_EQ(ColumnTexts(FMain->m_ListView, 0), QStringList({"1", "2", "3"}));  // 10 > 9 > 10.0.0.1
}

std::string ClipboardText(QClipboard::Mode mode = QClipboard::Clipboard)
{
  return QGuiApplication::clipboard()->text(mode).toStdString();
}

// Selects the given rows of the main list (and nothing else).
void SelectRows(std::initializer_list<int> rows)
{
  QTableWidget *v = FMain->m_ListView;
  v->clearSelection();
  for (int r : rows)
    v->selectionModel()->select(v->model()->index(r, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Ctrl+C copies the selected rows in view order as tab-separated lines, to
// the clipboard and to the primary selection where the platform has one.
TEST(Share, CtrlCCopiesTheSelectedRowsInViewOrder)
{
  ShowShareRows();
  QTableWidget *v = FMain->m_ListView;
  ClickHeader(v, 3);  // ascending: 10.0.0.1, 192.168.1.9, 192.168.1.10
  SelectRows({2, 0});
  v->setFocus();
  QGuiApplication::clipboard()->setText("before");
  QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "3\tVL-2116\t02:00:00:00:00:13\t10.0.0.1\n"
                             "1\tVL-2104\t02:00:00:00:00:11\t192.168.1.10");
  if (QGuiApplication::clipboard()->supportsSelection()) {
    EXPECT_EQ(ClipboardText(QClipboard::Selection), ClipboardText());
  }
  // Nothing selected: the clipboard keeps what it had.
  v->clearSelection();
  QGuiApplication::clipboard()->setText("kept");
  QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "kept");
  // Ctrl+A then Ctrl+C: every row.
  QTest::keyClick(v, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "3\tVL-2116\t02:00:00:00:00:13\t10.0.0.1\n"
                             "2\tVL-2108\t02:00:00:00:00:12\t192.168.1.9\n"
                             "1\tVL-2104\t02:00:00:00:00:11\t192.168.1.10");
  ClickHeader(v, 0);
}

// A right click on the list opens its menu: Copy, Copy IP Address, Copy MAC
// Address, Select All; each does what it says.
TEST(Share, ContextMenuActions)
{
  ShowShareRows();
  QTableWidget *v = FMain->m_ListView;
  SelectRows({1});
  auto open_menu = [v] {
    QPoint at(20, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, v->viewport()->mapToGlobal(at));
    QApplication::sendEvent(v->viewport(), &event);
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
  };
  QMenu *menu = open_menu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu, FMain->m_list_menu);
  QStringList texts;
  for (QAction *a : menu->actions())
    if (!a->isSeparator())
      texts << a->text();
  EXPECT_EQ(texts, QStringList({"Copy", "Copy IP Address", "Copy MAC Address", "Select All"}));
  EXPECT_EQ(FMain->m_copy_action->shortcut(), QKeySequence("Ctrl+C"));
  EXPECT_TRUE(FMain->m_copy_action->isEnabled());
  menu->close();

  FMain->m_copy_ip_action->trigger();
  EXPECT_EQ(ClipboardText(), "192.168.1.9");
  FMain->m_copy_mac_action->trigger();
  EXPECT_EQ(ClipboardText(), "02:00:00:00:00:12");
  FMain->m_copy_action->trigger();
  EXPECT_EQ(ClipboardText(), "2\tVL-2108\t02:00:00:00:00:12\t192.168.1.9");
  FMain->m_select_all_action->trigger();
  EXPECT_EQ(v->selectionModel()->selectedRows().size(), 3);
  FMain->m_copy_ip_action->trigger();
  EXPECT_EQ(ClipboardText(), "192.168.1.10\n192.168.1.9\n10.0.0.1");

  // With nothing selected the copies are disabled; with no rows Select All too.
  v->clearSelection();
  menu = open_menu();
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(FMain->m_copy_action->isEnabled());
  EXPECT_FALSE(FMain->m_copy_ip_action->isEnabled());
  EXPECT_TRUE(FMain->m_select_all_action->isEnabled());
  menu->close();
  FakeSearch({});
  menu = open_menu();
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(FMain->m_select_all_action->isEnabled());
  menu->close();
  ClickHeader(v, 0);
  FMain->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(FMain));
}

std::string ReadWhole(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves through Ctrl+S and its Save Result As dialog as a user does: picks
// the file type filter (empty: leaves the one shown), then types name and
// presses Save.  Returns once the dialog has closed; true when it was
// answered so.
bool SaveThroughDialog(const QString &filter, const std::string &name)
{
  // The dialog is answered once it has been up for a while, so that its own
  // event loop runs (an answer while it is still being shown would be lost).
  int sightings = 0;
  bool answered = false;
  uitest::Poller answer([&] {
    auto *files = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!files || files->objectName() != "SaveResultDialog" || !files->isVisible())
      return answered;
    if (++sightings < 5)
      return false;
    auto *edit = files->findChild<QLineEdit *>("fileNameEdit");
    auto *types = files->findChild<QComboBox *>("fileTypeCombo");
    if (!edit || !types)
      return false;
    if (!filter.isEmpty()) {
      const int i = types->findText(filter);
      if (i < 0) {
        ADD_FAILURE() << "no filter " << filter.toStdString();
        QMetaObject::invokeMethod(files, "reject");
        return true;
      }
      // Picked from the list, which emits both signals; the dialog then puts
      // the filter's type on a name already typed, so the name comes after.
      types->setCurrentIndex(i);
      emit types->activated(i);
      emit types->textActivated(types->itemText(i));
    }
    edit->setText(QString::fromStdString(name));
    QMetaObject::invokeMethod(files, "accept");
    answered = true;
    return false;  // done once the dialog is gone
  });
  FMain->activateWindow();
  if (!QTest::qWaitForWindowActive(FMain))
    return false;
  FMain->m_ListView->setFocus();
  QTest::keyClick(FMain->m_ListView, Qt::Key_S, Qt::ControlModifier);  // returns when saved
  return answered;
}

// Save Result As... writes the rows in view order in the format the file
// type asks for, exactly as vela-find --format prints it.
TEST(Share, SaveWritesEachFormatInViewOrder)
{
  ShowShareRows();
  std::string dir = uitest::TempDir();
  // Through the menu's dialog: the name's type chooses the format.
  std::string csv = dir + "/result.csv";
  EXPECT_TRUE(SaveThroughDialog("", csv));
  EXPECT_EQ(ReadWhole(csv), "No,Model,MAC Address,IP Address\n"
                            "1,VL-2104,02:00:00:00:00:11,192.168.1.10\n"
                            "2,VL-2108,02:00:00:00:00:12,192.168.1.9\n"
                            "3,VL-2116,02:00:00:00:00:13,10.0.0.1\n");
  EXPECT_EQ(FormatForFileName("a/b.JSON", TResultFormat::Csv), TResultFormat::Json);
  EXPECT_EQ(FormatForFileName("b.txt", TResultFormat::Csv), TResultFormat::Table);
  EXPECT_EQ(FormatForFileName("b.log", TResultFormat::Table), TResultFormat::Table);
  EXPECT_EQ(FormatForFileName("b", TResultFormat::Json), TResultFormat::Json);

  ClickHeader(FMain->m_ListView, 3);  // ascending: view order 3, 2, 1
  std::string json = dir + "/result.json", text = dir + "/result.txt";
  ASSERT_TRUE(FMain->SaveResult(QString::fromStdString(json), TResultFormat::Json));
  ASSERT_TRUE(FMain->SaveResult(QString::fromStdString(text), TResultFormat::Table));
  std::string j = ReadWhole(json), t = ReadWhole(text);
  EXPECT_EQ(j, "{\"found\": 3, \"devices\": [\n"
               "  {\"no\": 3, \"model\": \"VL-2116\", \"mac\": \"02:00:00:00:00:13\", \"ip\": \"10.0.0.1\"},\n"
               "  {\"no\": 2, \"model\": \"VL-2108\", \"mac\": \"02:00:00:00:00:12\", \"ip\": \"192.168.1.9\"},\n"
               "  {\"no\": 1, \"model\": \"VL-2104\", \"mac\": \"02:00:00:00:00:11\", \"ip\": \"192.168.1.10\"}\n"
               "]}\n");
  EXPECT_EQ(t, "No  Model    MAC Address        IP Address\n"
               "3   VL-2116  02:00:00:00:00:13  10.0.0.1\n"
               "2   VL-2108  02:00:00:00:00:12  192.168.1.9\n"
               "1   VL-2104  02:00:00:00:00:11  192.168.1.10\n"
               "\n"
               "Search Result - 3 Vela(s)\n");
  // The same bytes as the shared formatter gives vela-find.
  std::vector<TResultRow> rows = {{"3", "VL-2116", "02:00:00:00:00:13", "10.0.0.1"},
                                  {"2", "VL-2108", "02:00:00:00:00:12", "192.168.1.9"},
                                  {"1", "VL-2104", "02:00:00:00:00:11", "192.168.1.10"}};
  EXPECT_EQ(j, FormatResult(rows, 3, TResultFormat::Json));
  EXPECT_EQ(t, FormatResult(rows, 3, TResultFormat::Table));
  ClickHeader(FMain->m_ListView, 0);
  FMain->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(FMain));
}

// The type of the name typed decides the format, whatever filter the
// dialog shows; the filter decides only for a name typed without a type
// (the dialog then adds the filter's).
TEST(Share, SaveTakesTheFormatFromTheTypedNameBeforeTheFilter)
{
  ShowShareRows();
  const std::string dir = uitest::TempDir();
  const std::vector<TResultRow> rows = {{"1", "VL-2104", "02:00:00:00:00:11", "192.168.1.10"},
                                        {"2", "VL-2108", "02:00:00:00:00:12", "192.168.1.9"},
                                        {"3", "VL-2116", "02:00:00:00:00:13", "10.0.0.1"}};
  const struct {
    QString filter;
    std::string typed, saved;
    TResultFormat format;
  } cases[] = {
      {"CSV (*.csv)", "/result.json", "/result.json", TResultFormat::Json},
      {"JSON (*.json)", "/listed.csv", "/listed.csv", TResultFormat::Csv},
      {"CSV (*.csv)", "/table.txt", "/table.txt", TResultFormat::Table},
      {"JSON (*.json)", "/plain", "/plain.json", TResultFormat::Json},
  };
  for (const auto &c : cases) {
    EXPECT_TRUE(SaveThroughDialog(c.filter, dir + c.typed)) << c.typed;
    EXPECT_EQ(ReadWhole(dir + c.saved), FormatResult(rows, 3, c.format))
        << c.typed << " saved with the filter " << c.filter.toStdString();
  }
}

// Clears (on false) or sets again CAP_DAC_OVERRIDE in the calling thread's
// effective set, so that root too meets a folder's permission bits.
bool SetDacOverride(bool on)
{
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0)
    return false;
  const __u32 bit = 1u << CAP_DAC_OVERRIDE;
  data[0].effective = on ? (data[0].effective | bit) : (data[0].effective & ~bit);
  return syscall(SYS_capset, &header, data) == 0;
}

// Saving into a read-only folder fails whole: an error box names the file
// and the reason, a file already there keeps its contents, nothing else
// appears in the folder.
TEST(Share, SaveErrorNamesTheFileAndWritesNothing)
{
  ShowShareRows();
  std::string folder = uitest::TempDir() + "/readonly";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string kept = folder + "/kept.txt", fresh = folder + "/result.csv";
  std::ofstream(kept) << "old\n";
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  const bool root = geteuid() == 0;
  if (root)
    ASSERT_TRUE(SetDacOverride(false));
  Boxes().Clear();
  bool wrote_fresh = FMain->SaveResult(QString::fromStdString(fresh), TResultFormat::Csv);
  bool wrote_kept = FMain->SaveResult(QString::fromStdString(kept), TResultFormat::Table);
  if (root)
    ASSERT_TRUE(SetDacOverride(true));
  chmod(folder.c_str(), 0755);
  EXPECT_FALSE(wrote_fresh);
  EXPECT_FALSE(wrote_kept);
  ASSERT_EQ(Boxes().boxes.size(), 2u);
  for (const auto &[box, path] : {std::pair{Boxes().boxes[0], fresh}, std::pair{Boxes().boxes[1], kept}}) {
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QStringList{"OK"});
    EXPECT_EQ(box.text.toStdString(), "cannot write " + path + ": Permission denied");
  }
  EXPECT_EQ(ReadWhole(kept), "old\n");
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"kept.txt"});
  ClickHeader(FMain->m_ListView, 0);
  FMain->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(FMain));
}

// Answers the Search Address dialog once it has been up for a while (its
// own event loop then runs): types text and presses Search, then, if the
// dialog is still open, Cancel.  Records what it saw.
struct TargetAnswer {
  explicit TargetAnswer(QString text) : m_text(std::move(text)) {}
  bool kept_open = false;     // still open after Search
  QString error;              // the message shown under the text box
  QString started_with;       // the text the box held when it came up
  bool searched = false;      // a search dialog came up
  bool by_address = false;
  int32_t target = 0, prefix = 0;

  bool Step()
  {
    if (FSearch && FSearch->isVisible() && !searched) {
      searched = true;
      by_address = FSearch->ByAddress;
      target = FSearch->SearchTarget;
      prefix = FSearch->SearchPrefix;
    }
    auto *ask = qobject_cast<TFTarget *>(QApplication::activeModalWidget());
    if (!ask || !ask->isVisible() || ++m_sightings < 5)
      return false;
    started_with = ask->m_target_edit->text();
    ask->m_target_edit->setText(m_text);
    QTest::mouseClick(ask->m_search_button, Qt::LeftButton);
    kept_open = ask->isVisible();
    error = ask->m_target_error->isVisible() ? ask->m_target_error->text() : QString();
    if (kept_open)
      QTest::mouseClick(ask->m_cancel_button, Qt::LeftButton);
    return false;
  }

 private:
  QString m_text;
  int m_sightings = 0;
};

void RunSearchAddress(TargetAnswer *answer)
{
  uitest::Poller step([answer] { return answer->Step(); });
  FMain->m_target_action->trigger();  // returns when done
  FMain->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(FMain));
}

// Search Address... comes after Broadcast Search.  It searches an address or
// a /22../30 prefix; any other text gets the reason under the text box, and
// no search starts.
TEST(SearchAddress, BadInputGetsAMessageAndNoSearch)
{
  QList<QAction *> function = FMain->m_menu_function->actions();
  ASSERT_EQ(function.size(), 2);
  EXPECT_EQ(function[0], FMain->m_brdc_action);
  EXPECT_EQ(function[1]->text(), "Search &Address...");

  TFTarget dlg;
  EXPECT_TRUE(dlg.m_target_edit->text().isEmpty());  // nothing searched yet
  const struct {
    const char *text;
    bool ok;
  } cases[] = {{"10.20.30.5", true},     {" 10.20.30.0/24 ", true}, {"10.20.28.0/22", true},
               {"10.20.30.4/30", true},  {"10.20.30.0/31", false},  {"10.20.30.5/32", false},
               {"10.20.0.0/21", false},  {"224.0.0.1", false},      {"239.1.2.0/24", false},
               {"127.0.0.1", false},     {"127.0.0.0/24", false},   {"10.20.30", false},
               {"10.20.30.256", false},  {"hello", false},          {"", false},
               {"10.20.30.5/24", false}};
  for (const auto &c : cases) {
    dlg.m_target_edit->setText(c.text);
    EXPECT_EQ(dlg.TakeTarget(), c.ok) << c.text;
    EXPECT_EQ(dlg.m_target_error->isHidden(), c.ok) << c.text;
    TSearchTarget parsed;
    std::string why;
    ParseSearchTarget(c.text, &parsed, &why);
    if (!c.ok) {
      EXPECT_FALSE(why.empty()) << c.text;
      EXPECT_EQ(dlg.m_target_error->text().toStdString(), why);
    }
  }
  dlg.m_target_edit->setText("10.20.30.0/24");
  ASSERT_TRUE(dlg.TakeTarget());
  EXPECT_EQ(dlg.Target.address, velatest::Ip("10.20.30.0"));
  EXPECT_EQ(dlg.Target.prefix_len, 24);

  // Through the menu: a multicast address keeps the dialog open with its
  // reason, starts no search and is not remembered.
  TargetAnswer answer("224.0.0.1");
  RunSearchAddress(&answer);
  EXPECT_TRUE(answer.kept_open);
  EXPECT_TRUE(answer.error.contains("224.0.0.1")) << answer.error.toStdString();
  EXPECT_FALSE(answer.searched);
  EXPECT_TRUE(ReadLastTarget().isEmpty());
  EXPECT_FALSE(std::filesystem::exists(uitest::Paths().config_home + "/Vela/2.0.conf"));
}

// A good target runs the search dialog for it (a subnet search by prefix),
// is remembered in the settings file as LastTarget and fills the box the
// next time; the status still counts the rows.
TEST(SearchAddress, GoodInputSearchesAndIsRemembered)
{
  TargetAnswer answer("10.20.30.0/24");
  RunSearchAddress(&answer);
  EXPECT_FALSE(answer.kept_open);
  EXPECT_TRUE(answer.searched);
  EXPECT_TRUE(answer.by_address);
  EXPECT_EQ(static_cast<uint32_t>(answer.target), velatest::Ip("10.20.30.0"));
  EXPECT_EQ(answer.prefix, 24);
  EXPECT_EQ(ReadLastTarget(), "10.20.30.0/24");
  std::string conf = ReadWhole(uitest::Paths().config_home + "/Vela/2.0.conf");
  EXPECT_NE(conf.find("LastTarget=10.20.30.0/24"), std::string::npos) << conf;
  EXPECT_EQ(FMain->m_stat_panel->text(),
            QString("Search Result - %1 Vela(s)").arg(FMain->m_ListView->rowCount()));

  TargetAnswer again("10.20.30.7");
  RunSearchAddress(&again);
  EXPECT_EQ(again.started_with, "10.20.30.0/24");
  EXPECT_EQ(again.prefix, 32);  // one device
  EXPECT_EQ(ReadLastTarget(), "10.20.30.7");
  // The settings file holds the last target only: no search setting was written.
  conf = ReadWhole(uitest::Paths().config_home + "/Vela/2.0.conf");
  EXPECT_EQ(conf.find("SerCnt"), std::string::npos) << conf;
  std::filesystem::remove_all(uitest::Paths().config_home + "/Vela");
}

TEST(Search, WithoutNetworkFindsNothingAndWarnsTwiceForTheModelFile)
{
  Boxes().Clear();
  FMain->m_ListView->setFocus();
  uitest::Poller watch([] { return false; });
  QTest::keyClick(FMain->m_ListView, Qt::Key_B, Qt::ControlModifier);  // returns when closed
  EXPECT_EQ(FSearch, nullptr);
  EXPECT_EQ(FMain->m_ListView->rowCount(), 0);
  EXPECT_EQ(FMain->m_stat_panel->text(), "Search Result - 0 Vela(s)");
  EXPECT_EQ(Boxes().Count(kModelWarning), 2);
  EXPECT_EQ(Arrows(), "u---");
}

// Shows a dialog for a search that cannot run and returns the progress text
// of its only tick.
QString FirstTickText(int32_t ser_cnt, int32_t ser_tim, int32_t *timeout)
{
  TFSearch dlg;
  dlg.SerCnt = ser_cnt;
  dlg.SerTim = ser_tim;
  int result = dlg.exec();  // closes itself at the first tick
  EXPECT_EQ(result, TFSearch::ResultCancel);
  *timeout = dlg.TimeoutSeconds;
  QPoint middle = dlg.screen()->availableGeometry().center();
  EXPECT_LE((dlg.geometry().center() - middle).manhattanLength(), 4) << "centred on the screen";
  return dlg.m_enum_msg->text();
}

TEST(Countdown, Arithmetic)
{
  EXPECT_EQ(CountdownSeconds(5, 1000), 5);
  EXPECT_EQ(CountdownSeconds(1, 500), 0);
  EXPECT_EQ(CountdownSeconds(-1, 1000), 4294966);
  EXPECT_EQ(CountdownSeconds(0, 1000), 0);
  EXPECT_EQ(CountdownSeconds(3, 1999), 5);
  // Elapsed seconds survive a wrap of the tick count; no clamping.
  EXPECT_EQ(RemainSeconds(5, 0xFFFFFC18u, 1000u), 3);
  EXPECT_EQ(RemainSeconds(1, 0, 3500), -2);
  EXPECT_EQ(RemainSeconds(0, 100, 1099), 0);

  int32_t timeout = 0;
  EXPECT_EQ(FirstTickText(5, 1000, &timeout), "Found 0 Vela(s), remain timeout = 5 second(s)");
  EXPECT_EQ(FirstTickText(1, 500, &timeout), "Found 0 Vela(s), remain timeout = 0 second(s)");
  EXPECT_EQ(timeout, 0);
  EXPECT_EQ(FirstTickText(-1, 1000, &timeout), "Found 0 Vela(s), remain timeout = 4294966 second(s)");
  EXPECT_EQ(timeout, 4294966);
}

// A tick that sees new devices writes the label first, with the old
// remaining time, then lists them and restarts the countdown, which shows
// from the next tick on.
TEST(SearchDialog, TickWritesTheLabelBeforeTakingInNewDevices)
{
  DsList.StartSearch(-1, 1, 1);  // no interface: ends at once, sends nothing
  ASSERT_TRUE(uitest::WaitUntil([] { return DsList.IsSearchDone(); }, 5000));
  for (_DSNETINFO info : {MakeInfo(kApid, 0x2104, "192.168.4.1", 1), MakeInfo(kApid, 0x2108, "192.168.4.2", 2)})
    TDsList::OnSearchReply(&info);
  TFSearch dlg;
  dlg.SerCnt = 5;
  dlg.SerTim = 1000;
  dlg.TimeoutSeconds = 5;
  dlg.StartTick = TickCount() - 3500;  // three whole seconds gone
  dlg.m_enum_timerTimer();
  EXPECT_EQ(dlg.m_enum_msg->text(), "Found 2 Vela(s), remain timeout = 2 second(s)");
  EXPECT_EQ(ColumnTexts(dlg.m_enum_list, 0), QStringList({"1", "2"}));
  EXPECT_EQ(ColumnTexts(dlg.m_enum_list, 3), QStringList({"192.168.4.1", "192.168.4.2"}));
  EXPECT_EQ(dlg.ShownCount, 2);
  EXPECT_EQ(dlg.TimeoutSeconds, 5);
  dlg.m_enum_timerTimer();
  EXPECT_EQ(dlg.m_enum_msg->text(), "Found 2 Vela(s), remain timeout = 5 second(s)");
  EXPECT_EQ(dlg.m_enum_list->rowCount(), 2);
}

TEST(SearchDialog, Layout)
{
  TFSearch dlg;
  EXPECT_EQ(dlg.windowTitle(), "Searching");
  EXPECT_EQ(dlg.size(), QSize(461, 312));
  EXPECT_EQ(dlg.GroupBox1->geometry(), QRect(16, 16, 425, 273));
  EXPECT_EQ(dlg.Label1->text(), "Searching for Vela...");
  EXPECT_EQ(dlg.m_stop_enum->geometry(), QRect(334, 24, 75, 25));
  EXPECT_EQ(dlg.m_stop_enum->text(), "&Stop");
  EXPECT_TRUE(dlg.m_stop_enum->isDefault());
  EXPECT_EQ(dlg.m_enum_list->geometry(), QRect(16, 72, 393, 177));
  EXPECT_FALSE(dlg.m_enum_list->showGrid());
  EXPECT_EQ(dlg.m_enum_list->selectionMode(), QAbstractItemView::SingleSelection);
  ASSERT_EQ(dlg.m_enum_list->columnCount(), 4);
  EXPECT_EQ(dlg.m_enum_list->columnWidth(0), 70);
  EXPECT_EQ(dlg.m_enum_list->columnWidth(3), 105);
  EXPECT_TRUE(dlg.m_enum_msg->text().isEmpty());
  EXPECT_TRUE(dlg.m_enum_msg->font().bold());
  EXPECT_EQ(dlg.m_enum_timer->interval(), 100);
  EXPECT_FALSE(dlg.m_enum_timer->isActive());
}

// The progress label shows its whole text for a full search (128 devices)
// and the longest countdown, inside the group box and clear of the list; with
// a font too large for the 461-pixel layout the dialog grows to fit it, the
// Stop button staying above the list's right edge.
TEST(SearchDialog, ProgressTextShowsWhole)
{
  auto check = [](TFSearch &dlg) {
    QFontMetrics metrics(dlg.m_enum_msg->font());
    for (int32_t remain : {4294966, 5, 0, -999999}) {
      dlg.m_enum_msg->setText(QString::fromStdString(ProgressText(128, remain)));
      EXPECT_LE(metrics.horizontalAdvance(dlg.m_enum_msg->text()), dlg.m_enum_msg->width())
          << dlg.m_enum_msg->text().toStdString();
    }
    QRect label = dlg.m_enum_msg->geometry(), list = dlg.m_enum_list->geometry();
    EXPECT_LE(label.right(), list.right());
    EXPECT_LT(label.bottom(), list.top());
    EXPECT_EQ(label.left(), 16);
    EXPECT_EQ(dlg.m_stop_enum->geometry().right(), list.right());
    EXPECT_EQ(dlg.m_stop_enum->size(), QSize(75, 25));
    EXPECT_EQ(dlg.GroupBox1->width() - list.right() - 1, 16);  // the box's inner margin kept
    EXPECT_EQ(dlg.width() - dlg.GroupBox1->geometry().right() - 1, 20);
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());  // still a fixed frame
  };
  {
    TFSearch dlg;
    check(dlg);
  }
  QFont normal = QApplication::font(), large = normal;
  large.setPointSizeF(normal.pointSizeF() * 1.8);
  QApplication::setFont(large);
  {
    TFSearch dlg;
    check(dlg);
    EXPECT_GT(dlg.width(), 461);
    EXPECT_EQ(dlg.height(), 312);
  }
  QApplication::setFont(normal);
}

TEST(About, TwoLinesOnEveryShowingEmptiedOnClose)
{
  for (int round = 0; round < 2; ++round) {
    QString product, version;
    bool escape_kept_open = false, centred = false;
    uitest::Poller step([&] {
      if (!AboutBox->isVisible())
        return false;
      centred = (AboutBox->geometry().center() - AboutBox->screen()->availableGeometry().center())
                    .manhattanLength() <= 4;
      product = AboutBox->ProductName->text();
      version = AboutBox->Version->text();
      QTest::keyClick(AboutBox, Qt::Key_Escape);
      escape_kept_open = AboutBox->isVisible();
      QTest::mouseClick(AboutBox->OKButton, Qt::LeftButton);
      return true;
    });
    FMain->m_menu_about->trigger();
    EXPECT_EQ(product, "Product Name: Vela Finder");
    EXPECT_EQ(version, "Version: 2.0");
    EXPECT_TRUE(escape_kept_open);
    EXPECT_TRUE(centred);
    EXPECT_TRUE(AboutBox->ProductName->text().isEmpty());
    EXPECT_TRUE(AboutBox->Version->text().isEmpty());
  }
  EXPECT_EQ(AboutBox->windowTitle(), "About");
  EXPECT_EQ(AboutBox->size(), QSize(298, 153));
  EXPECT_EQ(AboutBox->OKButton->geometry(), QRect(215, 116, 75, 25));
  EXPECT_TRUE(AboutBox->OKButton->isDefault());
}

// Settings read with a settings folder of their own per case.
TSearchSettings ReadWith(const char *file_text)
{
  std::string dir = uitest::TempDir();
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir));
  if (file_text) {
    std::filesystem::create_directories(dir + "/Vela");
    std::ofstream(dir + "/Vela/2.0.conf") << file_text;
  }
  TSearchSettings s = ReadSearchSettings();
  if (!file_text) {
    EXPECT_FALSE(std::filesystem::exists(dir + "/Vela")) << "settings must never be created";
  }
  return s;
}

TEST(Settings, DefaultsMissingAndBadValues)
{
  auto check = [](const char *text, int32_t cnt, int32_t tim) {
    TSearchSettings s = ReadWith(text);
    EXPECT_EQ(s.SerCnt, cnt) << (text ? text : "(no file)");
    EXPECT_EQ(s.SerTim, tim) << (text ? text : "(no file)");
  };
  check(nullptr, 5, 1000);
  check("[General]\n", 5, 1000);
  check("[General]\nSerCnt=3\nSerTim=250\n", 3, 250);
  check("[General]\nSerCnt=7\n", 7, 1000);
  check("[General]\nSerTim=300\n", 5, 300);
  check("[General]\nSerCnt=abc\nSerTim=400\n", 5, 400);
  check("[General]\nSerCnt=2\nSerTim=12x\n", 2, 1000);
  check("[General]\nSerCnt=0\nSerTim=0\n", 0, 0);
  check("[General]\nSerCnt=-1\nSerTim=1000\n", -1, 1000);
  check("[General]\nSerCnt=99999999999\n", 5, 1000);
}

TEST(Errors, EscapedExceptionIsKeptForTheEntryPoint)
{
  class Thrower : public QObject {
   public:
    bool event(QEvent *) override { throw std::runtime_error("broken handler"); }
  } thrower;
  auto *app = static_cast<TApplication *>(QApplication::instance());
  QEvent ev(QEvent::User);
  EXPECT_NO_THROW(QApplication::sendEvent(&thrower, &ev));
  ASSERT_TRUE(app->Escaped());
  EXPECT_EQ(ErrorText(app->Escaped()), "broken handler");
  EXPECT_EQ(ErrorText(std::make_exception_ptr(42)), "");
}

// Only the user's own settings file counts: neither the organisation-wide
// file beside it nor the system-wide files (/etc/xdg) supply a value.
TEST(Settings, OnlyTheUsersOwnFileIsRead)
{
  std::string user = uitest::TempDir(), system = uitest::TempDir();
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(user));
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QString::fromStdString(system));
  std::filesystem::create_directories(system + "/Vela");
  std::ofstream(user + "/Vela.conf") << "[General]\nSerCnt=7\nSerTim=700\n";
  std::ofstream(system + "/Vela/2.0.conf") << "[General]\nSerCnt=8\nSerTim=800\n";
  std::ofstream(system + "/Vela.conf") << "[General]\nSerCnt=9\nSerTim=900\n";
  TSearchSettings s = ReadSearchSettings();
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 1000);
  // With the user's file present, its missing value still takes the default.
  std::filesystem::create_directories(user + "/Vela");
  std::ofstream(user + "/Vela/2.0.conf") << "[General]\nSerTim=300\n";
  s = ReadSearchSettings();
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 300);
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QString::fromStdString(uitest::TempDir()));
}

// The missing-file warning keeps its text and names, under it, the places
// looked in; a model file in the user's configuration folder is found
// without a warning when the current folder has none.
TEST(ModelFile, WarningNamesThePlacesAndTheConfigFolderIsLookedIn)
{
  const uitest::SeenBox *warning = nullptr;
  for (const auto &b : g_startup_boxes)
    if (b.text == kModelWarning)
      warning = &b;
  ASSERT_NE(warning, nullptr);
  EXPECT_TRUE(warning->informative.startsWith("Looked for in:\n  model_name.ini\n")) << warning->informative.toStdString();
  EXPECT_TRUE(warning->informative.contains("/Vela/model_name.ini\n")) << warning->informative.toStdString();
  EXPECT_TRUE(warning->informative.contains("share/vela-finder/model_name.ini")) << warning->informative.toStdString();

  char dir[] = "/tmp/ui-models-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::filesystem::create_directories(std::string(dir) + "/Vela");
  std::ofstream(std::string(dir) + "/Vela/model_name.ini")
      << "[x]\nmodel_name = From Config\napid = 560001\nhwid = 2104\nports = 4\n";
  const QByteArray old_xdg = qgetenv("XDG_CONFIG_HOME");
  const bool had_xdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", dir);
  Boxes().Clear();
  SetupForm(FMain);
  QTest::qWait(50);
  EXPECT_EQ(Boxes().Count(kModelWarning), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "From Config");
  if (had_xdg)
    qputenv("XDG_CONFIG_HOME", old_xdg);
  else
    qunsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);
  ResetModelTable();
}

// Last: Alt+X ends the program by closing the main window.
TEST(ZExit, AltXClosesTheMainWindow)
{
  FMain->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(FMain));
  FMain->m_ListView->setFocus();
  QTest::keyClick(FMain->m_ListView, Qt::Key_X, Qt::AltModifier);
  EXPECT_FALSE(FMain->isVisible());
}

int main(int argc, char **argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (!velatest::InLoopbackOnlyNamespace()) {
    fprintf(stderr, "refusing to run in the machine's own network namespace\n");
    return 1;
  }
  ::testing::AddGlobalTestEnvironment(new uitest::UiEnvironment({}));
  ::testing::AddGlobalTestEnvironment(new StartupRecorder);
  return RUN_ALL_TESTS();
}
