#include "gui/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QSpacerItem>
#include <QTranslator>
#include <QUrl>
#include <QWidget>
#include <algorithm>

#include "gui/HelpWindow.h"
#include "link/PortState.h"

namespace {
MessageRecorder* g_recorder = nullptr;
QString g_programFolderOverride;

const char* EnglishTitle(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning: return "Warning";
    case MessageKind::Error: return "Error";
    case MessageKind::Information: return "Information";
    case MessageKind::Plain: return "TORVAConsole";
  }
  return "";
}

const char* ChineseTitle(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning: return "警告";
    case MessageKind::Error: return "错误";
    case MessageKind::Information: return "信息";
    case MessageKind::Plain: return "TORVAConsole";
  }
  return "";
}

QMessageBox::Icon BoxIcon(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Plain: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

MessageRecorder::MessageRecorder() : outer_(g_recorder) { g_recorder = this; }
MessageRecorder::~MessageRecorder() { g_recorder = outer_; }

std::vector<QString> MessageRecorder::texts() const {
  std::vector<QString> out;
  for (const auto& m : messages_) out.push_back(m.text);
  return out;
}

QString BoxText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
      out += c;
      continue;
    }
    out += QLatin1Char('\n');
    // CR LF and LF CR are each one break.
    const QChar other = c == QLatin1Char('\r') ? QLatin1Char('\n') : QLatin1Char('\r');
    if (i + 1 < text.size() && text[i + 1] == other) ++i;
  }
  return out;
}

int TitleBarWidth(const QString& title) {
  // The toolkit widens a box for its bare title in a small font only. The
  // window manager draws the title with the program's name after it, in a
  // bold face, beside the window's icon and its three buttons: with their
  // padding about seven title lines (openbox), eight to be sure.
  const QString program = QString::fromUtf8(kProgramName);
  const QString shown = title.endsWith(program) ? title : title + QString::fromUtf8(" — ") + program;
  QFont bold = QApplication::font();
  bold.setBold(true);
  const QFontMetrics fm(bold);
  return fm.horizontalAdvance(shown) + 8 * fm.height();
}

namespace {

// The strut FitTitleBar puts into a window's layout, told from the layout's
// other spacers by its type.
class TitleStrut : public QSpacerItem {
 public:
  explicit TitleStrut(int width) : QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed) {}
};

TitleStrut* FindStrut(QLayout* layout) {
  for (int i = 0; i < layout->count(); ++i)
    if (auto* strut = dynamic_cast<TitleStrut*>(layout->itemAt(i))) return strut;
  return nullptr;
}

}  // namespace

void FitTitleBar(QWidget& window) {
  const int width = TitleBarWidth(window.windowTitle());
  QLayout* layout = window.layout();
  auto* grid = qobject_cast<QGridLayout*>(layout);
  auto* box = qobject_cast<QBoxLayout*>(layout);
  const bool vertical =
      box && (box->direction() == QBoxLayout::TopToBottom || box->direction() == QBoxLayout::BottomToTop);
  if (!grid && !vertical) {
    // Placed controls, or a row: the window itself is widened, a fixed size
    // staying fixed.
    window.setMinimumWidth(std::max(window.minimumWidth(), width));
    window.setMaximumWidth(std::max(window.maximumWidth(), width));
    if (window.width() < width) window.resize(width, window.height());
    return;
  }
  // The strut spans the layout's width inside its margins: the layout, and so
  // the window, is at least that wide, and no higher (a spacer takes no
  // spacing).
  const QMargins margins = layout->contentsMargins();
  const int strutWidth = std::max(0, width - margins.left() - margins.right());
  if (TitleStrut* strut = FindStrut(layout)) {
    strut->changeSize(strutWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->invalidate();
    return;
  }
  auto* strut = new TitleStrut(strutWidth);
  if (vertical) {
    box->addItem(strut);
    return;
  }
  // A message box's grid: in the buttons' row, across every column.
  int row = grid->rowCount();
  if (auto* buttons = window.findChild<QDialogButtonBox*>()) {
    const int at = grid->indexOf(buttons);
    int column = 0, rowSpan = 1, columnSpan = 1;
    if (at >= 0) grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
  }
  grid->addItem(strut, row, 0, 1, grid->columnCount());
}

namespace {
void ShowBox(MessageKind kind, const QString& text, const QString& title, bool english) {
  if (g_recorder) {
    g_recorder->add({kind, text, title});
    return;
  }
  // Owned by the window the user is working in, so the box stays in front of
  // the modal dialog that reports.
  QMessageBox box(BoxIcon(kind), title, BoxText(text), QMessageBox::Ok, QApplication::activeWindow());
  // Texts carry file names, port names and what printers answer: never
  // markup.
  box.setTextFormat(Qt::PlainText);
  box.setFont(DialogFont());
  if (QAbstractButton* ok = box.button(QMessageBox::Ok)) ok->setText(english ? "OK" : "确定");
  FitTitleBar(box);
  box.exec();
}
}  // namespace

void ShowMessage(MessageKind kind, const QString& english, const QString& chinese) {
  ShowMessageIn(Language, kind, english, chinese);
}

void ShowMessageIn(const std::string& language, MessageKind kind, const QString& english, const QString& chinese) {
  if (language == "English") {
    ShowBox(kind, english, QString::fromUtf8(EnglishTitle(kind)), true);
  } else if (language == "Chinese") {
    ShowBox(kind, chinese, QString::fromUtf8(ChineseTitle(kind)), false);
  }  // neither language: nothing is shown
}

void ShowMessageTitled(MessageKind kind, const QString& english, const QString& chinese,
                       const QString& chineseTitle) {
  if (Language == "English") {
    ShowBox(kind, english, QString::fromUtf8(EnglishTitle(kind)), true);
  } else if (Language == "Chinese") {
    ShowBox(kind, chinese, chineseTitle, false);
  }
}

void ShowEnglishMessage(MessageKind kind, const QString& text) {
  ShowBox(kind, text, QString::fromUtf8(EnglishTitle(kind)), true);
}

void OutputWarning(const QString& english, const QString& chinese) {
  ShowMessage(MessageKind::Warning, english, chinese);
}
void OutputError(const QString& english, const QString& chinese) {
  ShowMessage(MessageKind::Error, english, chinese);
}
void OutputInformation(const QString& english, const QString& chinese) {
  ShowMessage(MessageKind::Information, english, chinese);
}

bool IsEnglish() { return Language == "English"; }

QString Tr2(const char* english, const char* chinese) {
  return QString::fromUtf8(IsEnglish() ? english : chinese);
}

bool ApplyToolkitLanguage(const QString& language) {
  static QPointer<QTranslator> chinese;
  if (language != "Chinese") {
    if (chinese) QCoreApplication::removeTranslator(chinese);
    return true;
  }
  if (!chinese) {
    auto* t = new QTranslator(QCoreApplication::instance());
    if (!t->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      delete t;
      return false;
    }
    chinese = t;
  }
  // Installing again moves it to the front; it is never installed twice.
  QCoreApplication::removeTranslator(chinese);
  return QCoreApplication::installTranslator(chinese);
}

// The dialogs were laid out for "MS Sans Serif" (English) and "Arial"
// (Chinese). Neither exists on a stock Linux desktop, so each name is followed
// by look-alikes that do: DejaVu Sans / Liberation Sans for the Latin glyphs
// and WenQuanYi Micro Hei (Debian fonts-wqy-microhei, installed by the setup
// script) for the Chinese ones. Qt walks the family list glyph by glyph, so a
// Chinese caption in the "Arial" font is drawn with WenQuanYi's glyphs instead
// of empty boxes. FreeSans (fonts-freefont-ttf) comes last for the marks
// none of those has: the console's lone CR and lone LF (U+240D, U+240A).
QFont DialogFontFor(const QString& language) {
  QFont font;
  if (language == "English")
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans", "Liberation Sans",
                      "WenQuanYi Micro Hei", "FreeSans"});
  else
    font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans", "WenQuanYi Micro Hei", "FreeSans"});
  font.setPointSize(8);
  return font;
}

QFont DialogFont() { return DialogFontFor(QString::fromStdString(Language)); }

void ApplyDialogFont(QWidget* widget) {
  if (widget) widget->setFont(DialogFont());
}

QString ProgramFolder() {
  if (!g_programFolderOverride.isEmpty()) return g_programFolderOverride;
  return QCoreApplication::applicationDirPath();
}

void SetProgramFolderForTests(const QString& folder) { g_programFolderOverride = folder; }

QString HelpFilePath() {
  return ProgramFolder() + (IsEnglish() ? "/Guide_en.chm" : "/Guide_cn.chm");
}

// The file is handed to the desktop's opener for its type.
bool OpenHelpFile() {
  const QString path = HelpFilePath();
  if (!QFileInfo(path).isFile()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void FormHelp(QWidget*) {
  if (torva::gui::RaiseOpenHelpWindow()) return;
  OpenHelpFile();
}

void HelpMenuOpen() {
  if (torva::gui::RaiseOpenHelpWindow()) return;
  if (!QFileInfo(HelpFilePath()).isFile()) {
    OutputWarning("ERROR, FILE NOT FOUND!", "错误！没有找到文件");
    return;
  }
  OpenHelpFile();
}

void BindHelpKey(QWidget* widget) {
  if (!widget) return;
  auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), widget);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, widget, [widget] { FormHelp(widget); });
}
