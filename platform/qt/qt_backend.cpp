#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSpacerItem>

#include "platform/dialog.h"
#include "platform/program_version.h"
#include "platform/qt/dialog_font.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/folder_browser_dialog.h"
#include "platform/win_app.h"

namespace platform::qt {

namespace {

DialogWindow* WindowOf(const CDialog* dlg) {
  return dlg ? dynamic_cast<DialogWindow*>(dlg->Window()) : nullptr;
}

// The window a new dialog or message box belongs to: its owner's, else the
// window the user is working in, else the main window.
QWidget* OwnerWidget(const CDialog* owner) {
  if (QWidget* w = WindowOf(owner)) return w;
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  if (QWidget* w = QApplication::activeWindow()) return w;
  if (const CWinApp* app = AfxGetApp()) return WindowOf(app->m_pMainWnd);
  return nullptr;
}

// A message box whose caption the title bar shows whole, over the middle of
// its owner, or of the screen while the owner is not shown yet (a message
// during start-up).
class MessageBoxWindow final : public QMessageBox {
 public:
  MessageBoxWindow(Icon icon, const QString& title, const QString& text, QWidget* owner)
      : QMessageBox(icon, title, text, QMessageBox::Ok, owner) {
    // Room for the caption in the window manager's bold title font, and for
    // the icon and buttons that share the title bar with it.
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int needed = metrics.horizontalAdvance(title) * 5 / 4 + 6 * metrics.height();
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
      grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                    grid->rowCount(), 0, 1, grid->columnCount());
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // gives the box its final size
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QRect area =
        owner && owner->isVisible() ? owner->frameGeometry() : screen()->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
  }
};

class QtBackend final : public IWindowBackend {
 public:
  int RunModal(CDialog& dlg) override {
    DialogWindow window(dlg, OwnerWidget(dlg.Parent()));
    return window.Run();
  }

  int MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                 UINT type) override {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
      case MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
      case MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
      case 0x20:
        icon = QMessageBox::Question;
        break;
      case 0x40:
        icon = QMessageBox::Information;
        break;
      default:
        break;
    }
    const QString title = QString::fromLocal8Bit(CaptionOrProgramName(caption).c_str());
    MessageBoxWindow box(icon, title, QString::fromLocal8Bit(text.c_str()), OwnerWidget(owner));
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    return IDOK;
  }

  std::optional<std::string> ClipboardText() override {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasText()) return std::nullopt;
    return mime->text().toLocal8Bit().toStdString();
  }

  std::optional<std::string> BrowseForFolder(const FolderBrowseRequest& request) override {
    return RunFolderBrowser(request, OwnerWidget(request.owner));
  }
};

}  // namespace

std::unique_ptr<IWindowBackend> CreateQtBackend() {
  // Dialogs end the program, not the last closed window; a quit would also
  // end every nested modal loop at once.
  QApplication::setQuitOnLastWindowClosed(false);
  // Message boxes and the folder browser use the dialog font's family too,
  // so Japanese texts never fall back to a font without kana.
  QFont font = QApplication::font();
  font.setFamily(SubstituteFamily(QStringLiteral("ＭＳ Ｐゴシック")));
  QApplication::setFont(font);
  return std::make_unique<QtBackend>();
}

struct QtSession::Impl {
  explicit Impl(const char* programName) : name(programName ? programName : kProgramName) {
    argv[0] = name.data();
    argv[1] = nullptr;
    app = std::make_unique<QApplication>(argc, argv);
    backend = CreateQtBackend();
    SetWindowBackend(backend.get());
  }
  ~Impl() {
    SetWindowBackend(nullptr);
    backend.reset();
    app.reset();
  }

  std::string name;
  int argc = 1;
  char* argv[2] = {};
  std::unique_ptr<QApplication> app;
  std::unique_ptr<IWindowBackend> backend;
};

QtSession::QtSession(const char* programName) : m_impl(std::make_unique<Impl>(programName)) {}
QtSession::~QtSession() = default;

}  // namespace platform::qt
