// Bilingual message boxes, dialog fonts, captions and the help opener that
// every dialog of the console shares.
//
// Each text exists as an English and a Chinese pair; which one is shown is
// decided by the global Language at the moment it is shown. Tests replace the
// boxes by a MessageRecorder, so no test ever blocks on a modal box.
#pragma once

#include <QFont>
#include <QString>
#include <string>
#include <vector>

class QWidget;

// Plain: a box with no icon titled with the application's title
// ("TORVAConsole"), as the status threads report a lost printer.
enum class MessageKind { Warning, Error, Information, Plain };

// One box as it would have been shown.
struct RecordedMessage {
  MessageKind kind;
  QString text;   // the text of the current language
  QString title;  // "Warning" / "警告", "Error" / "错误", "Information" / "信息"
};

// While an instance lives, the three helpers record instead of showing a box.
// Instances nest; the innermost one records.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  const std::vector<RecordedMessage>& messages() const { return messages_; }
  void clear() { messages_.clear(); }
  // Texts only, in order (handy for comparisons in tests).
  std::vector<QString> texts() const;
  void add(RecordedMessage message) { messages_.push_back(std::move(message)); }

 private:
  std::vector<RecordedMessage> messages_;
  MessageRecorder* outer_;
};

// English: a message box titled "Warning" with the English text and one "OK"
// button. Chinese: titled "警告" with the Chinese text. Any other Language
// shows nothing. Modal: returns when the user closes the box.
void OutputWarning(const QString& english, const QString& chinese);
// As OutputWarning, titled "Error" / "错误".
void OutputError(const QString& english, const QString& chinese);
// As OutputWarning, titled "Information" / "信息".
void OutputInformation(const QString& english, const QString& chinese);
// The common body of the three.
void ShowMessage(MessageKind kind, const QString& english, const QString& chinese);
// As ShowMessage, in `language` ("English" or "Chinese") instead of the
// current Language: a box about a language switch speaks the language chosen.
void ShowMessageIn(const std::string& language, MessageKind kind, const QString& english, const QString& chinese);
// As ShowMessage, with the Chinese box titled `chineseTitle` instead of the
// kind's title (the download's success box reads "提示").
void ShowMessageTitled(MessageKind kind, const QString& english, const QString& chinese,
                       const QString& chineseTitle);
// A box in English whatever the language (some messages of the settings files
// are English only): titled "Warning", "Error", "Information", or the
// application's title for Plain, with one "OK" button. Recorded like the others.
void ShowEnglishMessage(MessageKind kind, const QString& text);

// The text as a box shows it: the messages write their line break as LF CR
// ("...printer\n\rPlease check..."), some as CR LF; each pair, and a lone CR
// or LF, is one line break, so no box shows an empty line between the two.
QString BoxText(const QString& text);

// The program's name: main makes it the application's display name, which
// the toolkit shows after every window's title ("Printer Information —
// TORVAConsole").
inline constexpr char kProgramName[] = "TORVAConsole";

// The width a window needs for a window manager to show its whole title: the
// title with the program's name after it, drawn in a bold face, beside the
// window's icon and its buttons.
int TitleBarWidth(const QString& title);
// Makes the window (a message box or a dialog) at least TitleBarWidth of its
// title wide; the toolkit alone leaves the title of a narrow window cut off
// ("Analog / Digit… ORVAConsole"). In a grid or a vertical box it puts a
// strut of no height into the window's layout, so the layout's size, which
// the dialogs fix their size from, includes it (call it before the size is
// fixed); called again after the title changed, it resizes that strut. A
// window with placed controls or a row is widened itself (call it after its
// size is fixed; a fixed size stays fixed).
void FitTitleBar(QWidget& window);

// True while Language is "English".
bool IsEnglish();
// The caption of the current language: the English text when Language is
// "English", the Chinese one otherwise.
QString Tr2(const char* english, const char* chinese);

// The toolkit's own texts (the buttons of its boxes and dialog button rows,
// its file dialogs, the menus of text fields) in the console's language: the
// toolkit's Chinese translation (qtbase_zh_CN from the system's translations
// folder) is installed for "Chinese" and removed for "English". False when
// Chinese was asked and the translation could not be loaded.
bool ApplyToolkitLanguage(const QString& language);

// The dialog font of the current language ("MS Sans Serif" for English,
// "Arial" for Chinese, each with fallbacks that exist here).
QFont DialogFont();
QFont DialogFontFor(const QString& language);
// Sets DialogFont() on the widget; its children inherit it.
void ApplyDialogFont(QWidget* widget);

// Folder of the running program (with no trailing '/'): where Printer.ini and
// the help files live. Tests may point it elsewhere.
QString ProgramFolder();
void SetProgramFolderForTests(const QString& folder);  // empty: the real one

// Full path of the help file of the current language in the program's folder:
// "Guide_en.chm" for English, "Guide_cn.chm" for Chinese.
QString HelpFilePath();
// Opens the help file with the desktop's opener after checking it exists.
// Returns false when the file is missing or could not be opened.
bool OpenHelpFile();
// F1 in any window: brings the help viewer's window forward when it already
// shows the manual of the current language (gui/HelpWindow.h), else opens the
// help file; a missing file shows nothing.
void FormHelp(QWidget* owner);
// Help menu: as FormHelp, but a missing file shows the warning
// "ERROR, FILE NOT FOUND!" / "错误！没有找到文件" (an open help window is raised
// whether the file is there or not).
void HelpMenuOpen();
// Binds F1 of the widget to FormHelp.
void BindHelpKey(QWidget* widget);
