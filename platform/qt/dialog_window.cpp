#include "platform/qt/dialog_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QSocketNotifier>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "platform/qt/icons.h"

namespace platform::qt {

namespace {

bool Has(const ControlTemplate& c, unsigned style) { return (c.style & style) != 0; }

bool IsAutoRadio(const ControlTemplate& c) { return c.kind == ControlKind::AutoRadioButton; }

bool IsButtonKind(ControlKind kind) {
  return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton ||
         kind == ControlKind::AutoRadioButton || kind == ControlKind::AutoCheckBox;
}

Qt::WindowFlags FlagsFor(const DialogTemplate& tpl, bool owned) {
  Qt::WindowFlags flags = Qt::CustomizeWindowHint;
  if (tpl.style & kToolWindow)
    flags |= Qt::Tool;
  else if (!owned || (tpl.style & kAppWindow))
    flags |= Qt::Window;
  else
    flags |= Qt::Dialog;
  if (tpl.style & kCaption) flags |= Qt::WindowTitleHint;
  if (tpl.style & kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (tpl.style & kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  // A dialog frame never resizes; no template asks for a sizing border.
  flags |= Qt::MSWindowsFixedSizeDialogHint;
  return flags;
}

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  return paths;
}

// A group box as the dialog manager draws one: an etched frame whose top edge
// runs through the middle of the title, the title on the window's background.
class EtchedGroupBox final : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    const QRect frame = rect().adjusted(0, top, -1, -1);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    painter.setPen(dark);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(light);
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
    const QString text = title();
    if (text.isEmpty()) return;
    const int indent = metrics.averageCharWidth() + 1;
    const QRect textRect(indent, 0, metrics.horizontalAdvance(text) + 4, metrics.height());
    painter.fillRect(textRect, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textRect.adjusted(2, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, text);
  }
};

// A one-line static text that is drawn whole when its text outgrows the
// control (a long byte count in the status line): in a smaller size of the
// dialog font or on two lines, never cut. The control keeps its place and
// size.
class FittingLabel final : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QRect area = contentsRect();
    const TextFit fit = FitText(font(), area, text(), alignment());
    if (fit.font == font() && (fit.flags & Qt::TextSingleLine)) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    painter.setFont(fit.font);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, fit.flags, text());
  }
};

// Check boxes and radio buttons with the desktop's 13-pixel box and narrow
// gap, so captions measured for it fit the width the template gives them.
class DialogControlStyle final : public QProxyStyle {
 public:
  DialogControlStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    switch (metric) {
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
        return 13;
      case PM_CheckBoxLabelSpacing:
      case PM_RadioButtonLabelSpacing:
        return 3;
      default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};

// Input that arrives while a command handler polls for a stop: Escape asks
// to stop; keys, clicks, wheels and drops are dropped, as the window was not
// taking input then.
class BusyInputFilter final : public QObject {
 public:
  explicit BusyInputFilter(bool& stopRequested) : m_stopRequested(stopRequested) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
          m_stopRequested = true;
        return true;
      }
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
      case QEvent::InputMethod:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
        return true;
      default:
        return false;
    }
  }

 private:
  bool& m_stopRequested;
};

// How often a polling handler lets the event loop run: often enough that a
// stop is felt at once, rarely enough to cost the handler nothing.
constexpr qint64 kPollIntervalMs = 20;

QStyle* ControlStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new DialogControlStyle;
    style->setParent(qApp);
  }
  return style;
}

}  // namespace

DialogWindow::DialogWindow(CDialog& dlg, QWidget* owner)
    : QDialog(owner),
      m_dlg(dlg),
      m_font(DialogFont(dlg.Template())),
      m_units(MeasureBaseUnits(m_font)) {
  const DialogTemplate& tpl = dlg.Template();
  setObjectName(QStringLiteral("dialog%1").arg(tpl.id));
  setWindowFlags(FlagsFor(tpl, owner != nullptr));
  setWindowTitle(QString::fromUtf8(tpl.caption ? tpl.caption : ""));
  setFont(m_font);
  setSizeGripEnabled(false);
  const QRect client = DialogUnitsToPixels(m_units, 0, 0, tpl.cx, tpl.cy);
  setFixedSize(client.size());
  setAcceptDrops((tpl.style & kAcceptFiles) != 0);
  BuildControls();
}

DialogWindow::~DialogWindow() {
  if (m_dlg.Window() == this) m_dlg.AttachWindow(nullptr);
}

void DialogWindow::BuildControls() {
  const auto& controls = m_dlg.Template().controls;
  m_items.reserve(controls.size());
  int group = 0;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& c = controls[i];
    if (i > 0 && Has(c, kGroup)) ++group;
    QWidget* w = MakeControl(c);
    w->setObjectName(c.id == IDC_STATIC ? QStringLiteral("static%1").arg(i)
                                        : QStringLiteral("control%1").arg(c.id));
    w->setProperty("templateIndex", static_cast<int>(i));
    QRect box = DialogUnitsToPixels(m_units, c.x, c.y, c.cx, c.cy);
    // The substituted font runs a little wider than the one the templates
    // were measured with: a check or radio caption may take the room up to
    // the dialog's edge rather than lose its last letters.
    if (c.kind == ControlKind::AutoCheckBox || c.kind == ControlKind::AutoRadioButton) {
      QString caption = QString::fromUtf8(c.caption ? c.caption : "");
      caption.remove(u'&');
      const int needed = 13 + 3 + QFontMetrics(m_font).horizontalAdvance(caption) + 2;
      const int room = width() - box.x() - 1;
      if (needed > box.width()) box.setWidth(std::max(box.width(), std::min(needed, room)));
    }
    w->setGeometry(box);
    w->setEnabled(!Has(c, kDisabled));
    w->installEventFilter(this);
    m_items.push_back({&c, w, group});
  }
  // Group boxes frame the controls listed before or after them; they are
  // drawn behind everything and never take a click.
  for (const Item& item : m_items)
    if (item.tpl->kind == ControlKind::GroupBox) item.widget->lower();
  // A static text's "&" gives the focus to the next control that can take it.
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    auto* label = qobject_cast<QLabel*>(m_items[i].widget);
    if (!label || !label->text().contains(u'&')) continue;
    for (std::size_t j = i + 1; j < m_items.size(); ++j)
      if (m_items[j].widget->focusPolicy() != Qt::NoFocus) {
        label->setBuddy(m_items[j].widget);
        break;
      }
  }
}

QWidget* DialogWindow::MakeControl(const ControlTemplate& c) {
  const QString caption = QString::fromUtf8(c.caption ? c.caption : "");
  const int id = c.id;
  switch (c.kind) {
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(caption, this);
      edit->setFrame(Has(c, kBorder));
      if (Has(c, kPassword)) edit->setEchoMode(QLineEdit::Password);
      edit->setAlignment((Has(c, kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
      edit->setCursorPosition(0);
      return edit;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(caption, this);
      button->setAutoDefault(true);
      button->setDefault(c.kind == ControlKind::DefPushButton);
      connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
      return button;
    }
    case ControlKind::AutoRadioButton: {
      auto* radio = new QRadioButton(caption, this);
      radio->setStyle(ControlStyle());
      // Exclusivity follows the template's groups, not Qt's siblings.
      radio->setAutoExclusive(false);
      connect(radio, &QRadioButton::clicked, this, [this, radio] {
        if (const Item* item = FindItem(radio)) ClickAutoRadio(*item);
      });
      return radio;
    }
    case ControlKind::AutoCheckBox: {
      auto* check = new QCheckBox(caption, this);
      check->setStyle(ControlStyle());
      connect(check, &QCheckBox::clicked, this, [this, id] { Command(id); });
      return check;
    }
    case ControlKind::GroupBox: {
      auto* box = new EtchedGroupBox(caption, this);
      box->setFocusPolicy(Qt::NoFocus);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case ControlKind::Static: {
      auto* label = Has(c, kCenterImage) ? new FittingLabel(this) : new QLabel(this);
      label->setTextFormat(Qt::PlainText);
      label->setText(caption);
      Qt::Alignment align = Has(c, kCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
      if (Has(c, kCenterImage)) {
        align |= Qt::AlignVCenter;
      } else {
        align |= Qt::AlignTop;
        label->setWordWrap(true);
      }
      label->setAlignment(align);
      if (Has(c, kStaticEdge)) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
      }
      return label;
    }
  }
  return new QWidget(this);
}

int DialogWindow::Run() {
  m_dlg.AttachWindow(this);
  const BOOL focusFirst = m_dlg.HandleInitDialog();
  if (!m_ended) {
    if (focusFirst) {
      for (const Item& item : m_items)
        if (Has(*item.tpl, kTabStop) && CanTakeFocus(item)) {
          TabTarget(item)->widget->setFocus(Qt::TabFocusReason);
          break;
        }
    }
    m_running = true;
    exec();
    m_running = false;
  }
  for (auto& [id, timer] : m_timers) delete timer;
  m_timers.clear();
  m_dlg.AttachWindow(nullptr);
  return m_ended ? m_result : IDCANCEL;
}

QWidget* DialogWindow::Control(int id) const {
  const Item* item = FindItem(id);
  return item ? item->widget : nullptr;
}

QWidget* DialogWindow::ControlAt(std::size_t index) const {
  return index < m_items.size() ? m_items[index].widget : nullptr;
}

const DialogWindow::Item* DialogWindow::FindItem(const QWidget* widget) const {
  for (const Item& item : m_items)
    if (item.widget == widget) return &item;
  return nullptr;
}

const DialogWindow::Item* DialogWindow::FindItem(int id) const {
  if (id == IDC_STATIC) return nullptr;
  for (const Item& item : m_items)
    if (item.tpl->id == id) return &item;
  return nullptr;
}

std::string DialogWindow::GetItemText(int id) const {
  const Item* item = FindItem(id);
  if (!item) return {};
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(item->widget))
    text = edit->text();
  else if (auto* button = qobject_cast<QAbstractButton*>(item->widget))
    text = button->text();
  else if (auto* label = qobject_cast<QLabel*>(item->widget))
    text = label->text();
  else if (auto* box = qobject_cast<QGroupBox*>(item->widget))
    text = box->title();
  return text.toLocal8Bit().toStdString();
}

void DialogWindow::SetItemText(int id, const std::string& text) {
  const Item* item = FindItem(id);
  if (!item) return;
  const QString value = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  if (auto* edit = qobject_cast<QLineEdit*>(item->widget)) {
    edit->setText(value);
    edit->setCursorPosition(0);
  } else if (auto* button = qobject_cast<QAbstractButton*>(item->widget)) {
    button->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(item->widget)) {
    label->setText(value);
  } else if (auto* box = qobject_cast<QGroupBox*>(item->widget)) {
    box->setTitle(value);
  }
  // A harvest runs without returning to the event loop; the user still sees
  // each new text because it is painted now, not when the loop resumes.
  if (item->widget->isVisible()) item->widget->repaint();
}

UINT DialogWindow::GetCheck(int id) const {
  const Item* item = FindItem(id);
  auto* button = item ? qobject_cast<QAbstractButton*>(item->widget) : nullptr;
  return button && button->isCheckable() && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void DialogWindow::SetCheck(int id, UINT state) {
  const Item* item = FindItem(id);
  auto* button = item ? qobject_cast<QAbstractButton*>(item->widget) : nullptr;
  if (button && button->isCheckable()) button->setChecked(state == BST_CHECKED);
}

bool DialogWindow::IsItemEnabled(int id) const {
  const Item* item = FindItem(id);
  return item && item->widget->isEnabled();
}

void DialogWindow::EnableItem(int id, bool enable) {
  if (const Item* item = FindItem(id)) item->widget->setEnabled(enable);
}

void DialogWindow::SetFocusItem(int id) {
  if (const Item* item = FindItem(id)) item->widget->setFocus(Qt::TabFocusReason);
}

void DialogWindow::SetTimer(UINT id, UINT elapseMs) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (!m_polling) m_dlg.DispatchTimer(id);
    });
  }
  // As on the desktop, a period is at least 10 ms (0 would spin) and at
  // most what a signed 32-bit count holds; starting again restarts it.
  timer->start(static_cast<int>(std::clamp<UINT>(elapseMs, 10, 0x7FFFFFFF)));
}

void DialogWindow::KillTimer(UINT id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  delete it->second;
  m_timers.erase(it);
}

bool DialogWindow::HasTimer(UINT id) const { return m_timers.count(id) != 0; }

void DialogWindow::SetIcon(int iconId) {
  const QIcon icon = IconFor(iconId);
  if (!icon.isNull()) setWindowIcon(icon);
}

bool DialogWindow::IsIconic() const { return isMinimized(); }

void DialogWindow::EndModal(int result) {
  m_ended = true;
  m_result = result;
  if (m_running) done(result);
}

bool DialogWindow::PollStopRequest() {
  if (m_polling || (m_pollClock.isValid() && m_pollClock.elapsed() < kPollIntervalMs))
    return m_stopRequested;
  m_polling = true;
  BusyInputFilter filter(m_stopRequested);
  qApp->installEventFilter(&filter);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  qApp->removeEventFilter(&filter);
  m_polling = false;
  m_pollClock.start();
  return m_stopRequested;
}

void DialogWindow::Command(int id) {
  m_stopRequested = false;
  // The watches live as long as the window, which outlives the command.
  std::vector<QSocketNotifier*> paused;
  for (QSocketNotifier* watch : m_watches)
    if (watch->isEnabled()) {
      watch->setEnabled(false);
      paused.push_back(watch);
    }
  m_dlg.DispatchCommand(id);
  for (QSocketNotifier* watch : paused) watch->setEnabled(true);
}

void DialogWindow::ClickAutoRadio(const Item& item) {
  // The clicked radio is checked (a click on a checked one leaves it so) and
  // the other automatic radios of its group are cleared.
  for (const Item& other : m_items)
    if (other.group == item.group && IsAutoRadio(*other.tpl))
      static_cast<QAbstractButton*>(other.widget)->setChecked(&other == &item);
  Command(item.tpl->id);
}

bool DialogWindow::CanTakeFocus(const Item& item) const {
  return item.widget->focusPolicy() != Qt::NoFocus && item.widget->isEnabled() &&
         !item.widget->isHidden();
}

const DialogWindow::Item* DialogWindow::TabTarget(const Item& item) const {
  if (!IsAutoRadio(*item.tpl)) return &item;
  for (const Item& other : m_items)
    if (other.group == item.group && IsAutoRadio(*other.tpl) && CanTakeFocus(other) &&
        static_cast<QAbstractButton*>(other.widget)->isChecked())
      return &other;
  return &item;
}

bool DialogWindow::focusNextPrevChild(bool next) {
  if (m_items.empty()) return false;
  const int n = static_cast<int>(m_items.size());
  const Item* current = FindItem(focusWidget());
  int start = current ? static_cast<int>(current - m_items.data()) : (next ? n - 1 : 0);
  for (int step = 1; step <= n; ++step) {
    const int i = ((start + (next ? step : -step)) % n + n) % n;
    const Item& candidate = m_items[static_cast<std::size_t>(i)];
    if (!Has(*candidate.tpl, kTabStop) || !CanTakeFocus(candidate)) continue;
    TabTarget(candidate)->widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
  }
  return true;
}

void DialogWindow::MoveInGroup(const Item& from, bool forward) {
  std::vector<const Item*> members;
  for (const Item& item : m_items)
    if (item.group == from.group) members.push_back(&item);
  const int n = static_cast<int>(members.size());
  int at = 0;
  while (members[static_cast<std::size_t>(at)] != &from) ++at;
  for (int step = 1; step < n; ++step) {
    const Item& candidate =
        *members[static_cast<std::size_t>(((at + (forward ? step : -step)) % n + n) % n)];
    if (!CanTakeFocus(candidate)) continue;
    candidate.widget->setFocus(Qt::OtherFocusReason);
    // An automatic radio reached by the arrow keys is clicked, as on the desktop.
    if (IsAutoRadio(*candidate.tpl)) ClickAutoRadio(candidate);
    return;
  }
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  const Item* item = widget ? FindItem(widget) : nullptr;
  if (!item) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!IsButtonKind(item->tpl->kind) || (key->modifiers() & ~Qt::KeypadModifier)) break;
      if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Up) {
        MoveInGroup(*item, false);
        return true;
      }
      if (key->key() == Qt::Key_Right || key->key() == Qt::Key_Down) {
        MoveInGroup(*item, true);
        return true;
      }
      break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
      // Files dropped anywhere on a drop-target dialog reach the dialog,
      // also when they land on the address field.
      auto* drop = static_cast<QDropEvent*>(event);
      if (!acceptDrops() || LocalFiles(drop->mimeData()).empty()) break;
      if (event->type() == QEvent::Drop)
        DeliverDrop(drop);
      else
        drop->acceptProposedAction();
      return true;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Escape) {
    Command(IDCANCEL);
    return;
  }
  if (modifiers == Qt::NoModifier &&
      (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // Enter presses the default button; without one it is the OK command.
    for (const Item& item : m_items) {
      auto* button = qobject_cast<QPushButton*>(item.widget);
      if (button && button->isDefault()) {
        if (button->isEnabled() && !button->isHidden()) button->click();
        return;
      }
    }
    Command(IDOK);
    return;
  }
  QWidget::keyPressEvent(event);
}

void DialogWindow::reject() { Command(IDCANCEL); }

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box asks; the dialog's cancel handling decides. While a
  // command works and polls, it asks the command to stop instead.
  event->ignore();
  if (m_polling) {
    m_stopRequested = true;
    return;
  }
  if (!m_ended) Command(IDCANCEL);
}

void DialogWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptDrops() && !LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void DialogWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptDrops() && !LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void DialogWindow::dropEvent(QDropEvent* event) { DeliverDrop(event); }

void DialogWindow::DeliverDrop(QDropEvent* event) {
  std::vector<std::string> paths = LocalFiles(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  // The drop is handed over once the drag has finished, so a message box
  // shown by the handler does not hold up the program the files came from.
  QTimer::singleShot(0, this, [this, paths = std::move(paths)]() mutable {
    CDropFiles drop(std::move(paths));
    m_dlg.DispatchDropFiles(&drop);
  });
}

void DialogWindow::Watch(WatchHandle handle, std::function<void()> onReady) {
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
  m_watches.push_back(notifier);
  // Paused while its callback runs, as during a command: a callback that
  // shows a message box would otherwise be called again inside the box's
  // loop, each call a box nested in the last.
  connect(notifier, &QSocketNotifier::activated, this, [notifier, onReady = std::move(onReady)] {
    notifier->setEnabled(false);
    onReady();
    notifier->setEnabled(true);
  });
}

void DialogWindow::BringToFront() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void DialogWindow::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (m_dlg.HandlesMessage(MessageKind::Paint)) m_dlg.DispatchPaint();
}

}  // namespace platform::qt
