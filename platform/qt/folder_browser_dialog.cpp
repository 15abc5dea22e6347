#include "platform/qt/folder_browser_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace platform::qt {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;

QTreeWidgetItem* MakeFolderItem(const QString& name, const QString& path) {
  auto* item = new QTreeWidgetItem(QStringList{name});
  item->setData(0, kPathRole, path);
  item->setData(0, kLoadedRole, false);
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

// Lists an item's subfolders the first time it is opened, so the browser
// never walks more of the disk than the user looks at.
void LoadChildren(QTreeWidgetItem* item) {
  if (item->data(0, kLoadedRole).toBool()) return;
  item->setData(0, kLoadedRole, true);
  const QString path = item->data(0, kPathRole).toString();
  const QDir dir(path);
  const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable,
                                          QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
  for (const QString& name : names)
    item->addChild(MakeFolderItem(name, dir.absoluteFilePath(name)));
  if (item->childCount() == 0)
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

class Browser final : public IFolderBrowser {
 public:
  explicit Browser(QTreeWidget* tree) : m_tree(tree) {}

  void SelectFolder(const std::string* path) override {
    if (!path) return;
    const QString target = QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(*path)));
    if (!target.startsWith(u'/')) return;
    QTreeWidgetItem* item = m_tree->topLevelItem(0);
    const QStringList parts = target.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
      LoadChildren(item);
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; i < item->childCount() && !next; ++i)
        if (item->child(i)->text(0) == part) next = item->child(i);
      if (!next) {
        // A folder the listing leaves out (hidden, or not readable) can
        // still be the current one.
        const QString full = QDir(item->data(0, kPathRole).toString()).absoluteFilePath(part);
        if (!QFileInfo(full).isDir()) break;
        next = MakeFolderItem(part, full);
        item->addChild(next);
      }
      item->setExpanded(true);
      item = next;
    }
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
  }

 private:
  QTreeWidget* m_tree;
};

}  // namespace

std::optional<std::string> RunFolderBrowser(const FolderBrowseRequest& request, QWidget* owner) {
  QDialog dialog(owner);
  dialog.setObjectName(QStringLiteral("folderBrowser"));
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  dialog.setWindowTitle(QStringLiteral("フォルダの参照"));

  auto* title = new QLabel(&dialog);
  title->setTextFormat(Qt::PlainText);
  title->setText(QString::fromLocal8Bit(request.title.c_str()));
  title->setWordWrap(true);

  auto* tree = new QTreeWidget(&dialog);
  tree->setObjectName(QStringLiteral("folderTree"));
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->addTopLevelItem(MakeFolderItem(QStringLiteral("/"), QStringLiteral("/")));
  QObject::connect(tree, &QTreeWidget::itemExpanded, tree,
                   [](QTreeWidgetItem* item) { LoadChildren(item); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto updateOk = [tree, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(tree->currentItem() != nullptr);
  };
  QObject::connect(tree, &QTreeWidget::currentItemChanged, &dialog, updateOk);

  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(title);
  layout->addWidget(tree, 1);
  layout->addWidget(buttons);
  dialog.resize(320, 400);

  tree->topLevelItem(0)->setExpanded(true);
  tree->setCurrentItem(tree->topLevelItem(0));
  updateOk();

  Browser browser(tree);
  if (request.onInitialized) request.onInitialized(browser);

  if (dialog.exec() != QDialog::Accepted || !tree->currentItem()) return std::nullopt;
  return QFile::encodeName(tree->currentItem()->data(0, kPathRole).toString()).toStdString();
}

}  // namespace platform::qt
