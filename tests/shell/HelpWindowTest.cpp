// F1 and the Help menu bring an open help window forward instead of opening
// the manual again; the X11 finder and raiser on a private X server.
#include <xcb/xcb.h>

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "Facilities.h"
#include "ShellFixture.h"
#include "gui/HelpWindow.h"

using shelltest::ShellTest;
using torva::gui::FindX11WindowByTitle;
using torva::gui::HelpWindowId;
using torva::gui::RaiseX11Window;
using torva::gui::ScopedHelpWindowCalls;

namespace {

const QString kEnglishTitle = QStringLiteral("TORVAConsole's Operator Manual");
const QString kChineseTitle = QStringLiteral("TORVAConsole 用户指南");

// Stands in for the desktop's opener of local files.
class HelpUrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

// A fake desktop: records the titles asked and the windows raised.
struct FakeDesktop {
  std::optional<HelpWindowId> window;
  std::vector<QString> asked;
  std::vector<HelpWindowId> raised;
  ScopedHelpWindowCalls calls{[this](const QString& title) {
                                asked.push_back(title);
                                return window;
                              },
                              [this](HelpWindowId id) { raised.push_back(id); }};
};

struct HelpEntry {
  const char* name;
  void (*open)();
};
const HelpEntry kEntries[] = {{"F1", [] { FormHelp(nullptr); }}, {"Help menu", [] { HelpMenuOpen(); }}};

struct LanguageCase {
  const char* language;
  QString title;
  const char* file;
};
const LanguageCase kLanguages[] = {{"English", kEnglishTitle, "/Guide_en.chm"},
                                   {"Chinese", kChineseTitle, "/Guide_cn.chm"}};

class HelpWindowTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    QDesktopServices::setUrlHandler("file", &catcher, "open");
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("file");
    ShellTest::TearDown();
  }
  HelpUrlCatcher catcher;
};

}  // namespace

TEST_F(HelpWindowTest, AnOpenHelpWindowIsRaisedAndNothingIsOpenedOrShown) {
  for (const LanguageCase& lang : kLanguages) {
    for (const HelpEntry& entry : kEntries) {
      for (const bool fileThere : {true, false}) {
        SCOPED_TRACE(std::string(lang.language) + " " + entry.name + (fileThere ? " file" : " no file"));
        QFile::remove(programDir + lang.file);
        if (fileThere) shelltest::WriteFile(programDir + lang.file, "manual");
        Language = lang.language;
        FakeDesktop desktop;
        desktop.window = 0x1e00007;
        recorder.clear();
        catcher.urls.clear();
        entry.open();
        ASSERT_EQ(desktop.asked.size(), 1u);
        EXPECT_EQ(desktop.asked[0], lang.title);
        EXPECT_EQ(desktop.raised, std::vector<HelpWindowId>{0x1e00007});
        EXPECT_TRUE(catcher.urls.empty());
        EXPECT_TRUE(recorder.messages().empty());
      }
    }
  }
}

TEST_F(HelpWindowTest, WithoutAHelpWindowTheFileOfTheLanguageIsOpened) {
  shelltest::WriteFile(programDir + "/Guide_en.chm", "en");
  shelltest::WriteFile(programDir + "/Guide_cn.chm", "cn");
  for (const LanguageCase& lang : kLanguages) {
    for (const HelpEntry& entry : kEntries) {
      SCOPED_TRACE(std::string(lang.language) + " " + entry.name);
      Language = lang.language;
      FakeDesktop desktop;
      catcher.urls.clear();
      entry.open();
      ASSERT_EQ(desktop.asked.size(), 1u);
      EXPECT_EQ(desktop.asked[0], lang.title);
      EXPECT_TRUE(desktop.raised.empty());
      ASSERT_EQ(catcher.urls.size(), 1u);
      EXPECT_EQ(catcher.urls[0].toLocalFile(), programDir + lang.file);
      EXPECT_TRUE(recorder.messages().empty());
    }
  }
  // A missing file through the menu still warns when no window is found.
  QFile::remove(programDir + "/Guide_en.chm");
  Language = "English";
  FakeDesktop desktop;
  HelpMenuOpen();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "ERROR, FILE NOT FOUND!");
}

// Through the toolkit's own connection: runs only when the program itself is
// on an X display (QT_QPA_PLATFORM=xcb under xvfb-run).
TEST_F(HelpWindowTest, TheToolkitsConnectionFindsItsOwnTitledWindow) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "not on an X display";
  QWidget viewer;
  viewer.setWindowTitle(kEnglishTitle);
  viewer.show();
  ASSERT_TRUE(shelltest::WaitFor([&] { return viewer.windowHandle()->isExposed(); }, 10000));
  Language = "English";
  std::vector<HelpWindowId> raised;
  ScopedHelpWindowCalls calls({}, [&](HelpWindowId id) { raised.push_back(id); });
  FormHelp(nullptr);
  EXPECT_EQ(raised, std::vector<HelpWindowId>{static_cast<HelpWindowId>(viewer.winId())});
  EXPECT_TRUE(catcher.urls.empty());
}

namespace {

// A private Xvfb with no window manager, started for one test; the tests play
// the window manager's part where they need one.
class XServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    TORVA_REQUIRE_FACILITY(xvfb.isEmpty() ? "Xvfb is not installed" : "");
    server_.setProgram(xvfb);
    server_.setArguments({"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start();
    ASSERT_TRUE(server_.waitForStarted(10000));
    // The server writes its display number once it accepts connections.
    QByteArray number;
    QElapsedTimer timer;
    timer.start();
    while (!number.contains('\n') && server_.state() == QProcess::Running && timer.elapsed() < 30000) {
      server_.waitForReadyRead(1000);
      number += server_.readAllStandardOutput();
    }
    ASSERT_TRUE(number.contains('\n')) << "Xvfb gave no display number";
    display_ = ":" + number.trimmed().toStdString();
    c = Connect();
    ASSERT_NE(c, nullptr);
    root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  }

  void TearDown() override {
    for (xcb_connection_t* connection : connections_) xcb_disconnect(connection);
    if (server_.state() != QProcess::NotRunning) {
      server_.terminate();
      if (!server_.waitForFinished(10000)) server_.kill();
      server_.waitForFinished(10000);
    }
  }

  xcb_connection_t* Connect() {
    xcb_connection_t* connection = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
      xcb_disconnect(connection);
      return nullptr;
    }
    connections_.push_back(connection);
    return connection;
  }

  xcb_atom_t Atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
  }

  xcb_window_t Window(xcb_window_t parent, bool mapped) {
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, parent, 10, 10, 100, 80, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    if (mapped) xcb_map_window(c, window);
    return window;
  }

  void SetText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const QByteArray& bytes) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 8, bytes.size(), bytes.constData());
  }
  void SetEnglishWmName(xcb_window_t window, const QString& title) {
    SetText(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title.toLatin1());
  }
  void SetNetWmName(xcb_window_t window, const QString& title) {
    SetText(window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), title.toUtf8());
  }
  void Set32(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const std::vector<std::uint32_t>& values) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 32, values.size(), values.data());
  }
  void SetIconic(xcb_window_t window) { Set32(window, Atom("WM_STATE"), Atom("WM_STATE"), {3, XCB_NONE}); }

  // Waits until the server has handled everything sent on `connection`.
  static void Sync(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  }

  std::vector<xcb_window_t> RootChildren() {
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    std::vector<xcb_window_t> children(xcb_query_tree_children(tree),
                                       xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
    std::free(tree);
    return children;
  }

  std::uint8_t MapState(xcb_window_t window) {
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const std::uint8_t state = attributes ? attributes->map_state : 0xff;
    std::free(attributes);
    return state;
  }

  xcb_connection_t* c = nullptr;
  xcb_window_t root = XCB_NONE;

 private:
  QProcess server_;
  std::string display_;
  std::vector<xcb_connection_t*> connections_;
};

}  // namespace

TEST_F(XServerTest, WithoutAWindowManagerTheTreeIsSearchedForTheExactTitleOfAnOpenWindow) {
  // Not open: withdrawn (never mapped, no WM_STATE). Not exact: a longer title.
  const xcb_window_t withdrawn = Window(root, false);
  SetEnglishWmName(withdrawn, kEnglishTitle);
  const xcb_window_t longer = Window(root, true);
  SetEnglishWmName(longer, kEnglishTitle + " - Contents");
  const xcb_window_t other = Window(root, true);
  SetNetWmName(other, QStringLiteral("TORVAConsole"));
  Sync(c);
  xcb_connection_t* finder = Connect();
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(FindX11WindowByTitle(finder, kEnglishTitle), std::nullopt);
  EXPECT_EQ(FindX11WindowByTitle(finder, kChineseTitle), std::nullopt);

  // Inside a frame, one level down: WM_NAME when there is no _NET_WM_NAME.
  const xcb_window_t frame = Window(root, true);
  const xcb_window_t english = Window(frame, true);
  SetEnglishWmName(english, kEnglishTitle);
  // Iconic, directly on the root, titled in UTF-8 (its WM_NAME says otherwise).
  const xcb_window_t chinese = Window(root, false);
  SetNetWmName(chinese, kChineseTitle);
  SetEnglishWmName(chinese, "Manual");
  SetIconic(chinese);
  Sync(c);
  EXPECT_EQ(FindX11WindowByTitle(finder, kEnglishTitle), std::optional<HelpWindowId>(english));
  EXPECT_EQ(FindX11WindowByTitle(finder, kChineseTitle), std::optional<HelpWindowId>(chinese));
  EXPECT_EQ(FindX11WindowByTitle(finder, "Manual"), std::nullopt);  // _NET_WM_NAME comes first
  EXPECT_EQ(FindX11WindowByTitle(nullptr, kEnglishTitle), std::nullopt);
}

TEST_F(XServerTest, TheWindowManagersClientListIsTheOneLookedThrough) {
  const xcb_window_t frame = Window(root, true);
  const xcb_window_t managed = Window(frame, true);
  SetNetWmName(managed, kEnglishTitle);
  // Same title on the root but not managed: the list is what counts.
  const xcb_window_t unmanaged = Window(root, true);
  SetNetWmName(unmanaged, kEnglishTitle);
  const xcb_window_t chinese = Window(root, true);
  SetNetWmName(chinese, kChineseTitle);
  Set32(root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, {chinese, managed});
  Sync(c);
  xcb_connection_t* finder = Connect();
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(FindX11WindowByTitle(finder, kEnglishTitle), std::optional<HelpWindowId>(managed));
  Set32(root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, {chinese});
  Sync(c);
  EXPECT_EQ(FindX11WindowByTitle(finder, kEnglishTitle), std::nullopt);
}

TEST_F(XServerTest, RaisingRestoresAnIconicWindowStacksItOnTopAndAsksForActivation) {
  const xcb_window_t help = Window(root, false);
  SetIconic(help);
  const xcb_window_t above = Window(root, true);
  const xcb_atom_t activeWindow = Atom("_NET_ACTIVE_WINDOW");
  // This connection plays the window manager's listener: it hears client
  // messages sent to the root.
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
  Set32(root, Atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, {Atom("_NET_CLIENT_LIST"), activeWindow});
  Sync(c);
  ASSERT_EQ(RootChildren().back(), above);

  xcb_connection_t* raiser = Connect();
  ASSERT_NE(raiser, nullptr);
  RaiseX11Window(raiser, help);
  Sync(raiser);
  Sync(c);

  EXPECT_EQ(MapState(help), XCB_MAP_STATE_VIEWABLE);
  EXPECT_EQ(RootChildren().back(), help);
  bool activationAsked = false;
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(c)) {
    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
      const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
      activationAsked |= message->type == activeWindow && message->window == help && message->format == 32;
    }
    std::free(event);
  }
  EXPECT_TRUE(activationAsked);

  // A window closed since it was found is left alone, without an error.
  xcb_destroy_window(c, above);
  Sync(c);
  RaiseX11Window(raiser, above);
  EXPECT_EQ(xcb_connection_has_error(raiser), 0);
}

#include "HelpWindowTest.moc"
