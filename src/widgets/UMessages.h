#pragma once
// The program's one message service: the error box, the information box and the input box.
// Every box of the program goes through here; tests install a handler that records the text
// and answers in place of the user.
#include <QString>
#include <exception>
#include <functional>

// Message-box flags (buttons | icon) and answers, with the platform message-box values.
enum TMsgFlags : int {
  mbOK = 0x00,
  mbOKCancel = 0x01,
  mbAbortRetryIgnore = 0x02,
  mbYesNoCancel = 0x03,
  mbYesNo = 0x04,
  mbRetryCancel = 0x05,
  mbIconError = 0x10,
  mbIconQuestion = 0x20,
  mbIconWarning = 0x30,
  mbIconInformation = 0x40
};
enum TMsgAnswer : int {
  idOK = 1,
  idCancel = 2,
  idAbort = 3,
  idRetry = 4,
  idIgnore = 5,
  idYes = 6,
  idNo = 7
};

// The error box and the plain information box cut their texts to this many characters.
constexpr int kMaxMessageLength = 255;

enum class TMessageKind { Error, Info, Input };

// One box as the handler sees it. For an input box, input holds the text going in and the
// handler may change it; the answer idOK takes it, anything else cancels.
struct TMessageRequest {
  TMessageKind kind = TMessageKind::Info;
  QString caption;
  QString text;  // for an input box: the prompt
  int flags = 0;
  QString input;
};
using TMessageHandler = std::function<int(TMessageRequest&)>;

// The application title: the caption of every box.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// Error box: application title, stop icon, OK; the arrow cursor while it is open, the cursor
// shown before it afterwards. The text is cut to kMaxMessageLength.
void ShowErrorBox(const QString& text);
// The error box of a failed window command: "Error during handling: " and the failure's message.
void ShowHandlingError(const std::exception& e);
// Information box with the given caption and flags; returns the button pressed (idOK ...).
int ShowInfoBox(const QString& caption, const QString& text, int flags);
// Information box with the application title, information icon and OK; the text is cut to
// kMaxMessageLength.
void ShowInfoBox(const QString& text);
// Input box with OK and Cancel; true and the text on OK.
bool InputBox(const QString& caption, const QString& prompt, QString& text);

// The least width of a message box whose title bar shows the whole caption.
class QFont;
int MinimumBoxWidth(const QString& caption, const QFont& font);

// Replaces the boxes with a handler (an empty one restores them); returns the previous one.
TMessageHandler SetMessageHandler(TMessageHandler handler);
