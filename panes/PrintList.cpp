#include "panes/PrintList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>

#include "panes/ProgressDelegate.h"
#include "shell/CommandTable.h"
#include "shell/IniReader.h"
#include "shell/IniWriter.h"
#include "shell/LanguageText.h"
#include "shell/Trace.h"

namespace {

constexpr int kColumnWidths[CPrintList::COLUMN_COUNT] = {360, 120, 150, 200};

QString Text(const PaneTextInfo& info) {
    return QString::fromStdString(GetLanguageText("PANE", info.szKey, info.szInitialText));
}

// The row image: a downward arrow, a job on its way to the printer.
QIcon RowIcon() {
    static const QIcon icon = [] {
        QPixmap pixmap(24, 24);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 120, 60));
        painter.drawRect(9, 3, 6, 10);
        const QPointF head[] = {{4, 12}, {20, 12}, {12, 21}};
        painter.drawPolygon(head, 3);
        return QIcon(pixmap);
    }();
    return icon;
}

}  // namespace

CPrintList::CPrintList(std::filesystem::path configPath, QWidget* parent)
    : QTreeWidget(parent), m_configPath(std::move(configPath)) {
    setObjectName(QStringLiteral("PrintList"));
    setColumnCount(COLUMN_COUNT);
    setHeaderLabels({QStringLiteral("File"), QStringLiteral("State"), QStringLiteral("Schedule"),
                     QStringLiteral("Details")});
    for (int c = 0; c < COLUMN_COUNT; ++c) setColumnWidth(c, kColumnWidths[c]);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(24, 24));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setSectionsMovable(true);
    header()->setStretchLastSection(true);
    setItemDelegateForColumn(COLUMN_SCHEDULE, new CProgressDelegate(this));
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

void CPrintList::AddPrintJob(const std::shared_ptr<CPrintJob>& job) {
    TraceLine("打印列表：添加一个打印作业项目. Call: ");
    InsertPrintJob(topLevelItemCount(), job);
}

void CPrintList::InsertPrintJob(int index, const std::shared_ptr<CPrintJob>& job) {
    TraceLine("打印列表：插入打印作业");
    if (!job) return;
    auto* item = new QTreeWidgetItem;
    item->setText(COLUMN_FILE, QString::fromStdString(job->GetName()));
    item->setToolTip(COLUMN_FILE, item->text(COLUMN_FILE));
    item->setIcon(COLUMN_FILE, RowIcon());
    item->setData(COLUMN_FILE, kJobRole, QVariant::fromValue(job));
    item->setText(COLUMN_STATE, QString::fromStdString(job->GetStatusString()));
    item->setText(COLUMN_SCHEDULE, QString::number(static_cast<uint32_t>(job->GetProgress())));
    insertTopLevelItem(index, item);
}

void CPrintList::SetPrintJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    TraceLine("打印列表：设置一个打印作业项目");
    const int row = RowOf(job.get());
    if (row < 0) return;
    QTreeWidgetItem* item = topLevelItem(row);
    item->setText(COLUMN_STATE, QString::fromStdString(job->GetStatusString()));
    const int32_t progress = job->GetProgress();
    item->setText(COLUMN_SCHEDULE, QStringLiteral("%1: %2\t%3: %4% ")
                                       .arg(Text(cmdtable::kCopiesWord))
                                       .arg(nCopy)
                                       .arg(Text(cmdtable::kProgressWord))
                                       .arg(static_cast<uint32_t>(progress)));
    if (CIniReader(m_configPath).ReadInt("setting", "DeleteList", 0) != 0 && nCopy == job->GetCopies() &&
        progress == 100)
        delete takeTopLevelItem(row);
}

std::shared_ptr<CPrintJob> CPrintList::JobAt(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(COLUMN_FILE, kJobRole).value<std::shared_ptr<CPrintJob>>() : nullptr;
}

int CPrintList::RowOf(const CPrintJob* job) const {
    if (!job) return -1;
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (JobAt(row).get() == job) return row;
    return -1;
}

std::shared_ptr<CPrintJob> CPrintList::GetSelectedJob() const {
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->isSelected()) return JobAt(row);
    return nullptr;
}

void CPrintList::SetColumnHeader(int column, const QString& text) { headerItem()->setText(column, text); }

std::unique_ptr<QMenu> CPrintList::CreateContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("PrintPaneSet"));
    const CIniReader ini(m_configPath);
    auto option = [&](const PaneTextInfo& text, const char* key, int32_t id, void (CPrintList::*handler)()) {
        QAction* action = menu->addAction(Text(text), this, handler);
        action->setData(id);
        action->setCheckable(true);
        action->setChecked(ini.ReadInt("setting", key, 0) != 0);
    };
    option(cmdtable::kDeleteListItem, "DeleteList", cmd::ID_PRINTPANESET_DELETELIST, &CPrintList::OnPrintpaneset32811);
    option(cmdtable::kDeleteSourceItem, "DeleteListSource", cmd::ID_PRINTPANESET_DELETESOURCE,
           &CPrintList::OnPrintpaneset32812);
    auto command = [&](const char* text, int32_t id, auto handler) {
        QAction* action = menu->addAction(QString::fromUtf8(text), this, handler);
        action->setData(id);
    };
    command("取消打印任务", cmd::ID_TESSARIN_STOP, [this] {
        TraceLine("\n\n打印列表：“取消打印任务”消息处理:");
        emit CancelRequested();
    });
    command("暂停打印任务", cmd::ID_PRINTPANESET_PAUSE, [this] {
        TraceLine("\n\n打印列表：“暂停打印任务“消息处理:");
        emit PauseRequested();
    });
    command("继续打印任务", cmd::ID_PRINTPANESET_RESUME, [this] {
        TraceLine("\n\n打印列表：“继续打印任务”消息处理:");
        emit ResumeRequested();
    });
    command("删除打印任务", cmd::ID_PRINTPANESET_DELETE, [this] { OnPrintpaneset32829(); });
    return menu;
}

void CPrintList::contextMenuEvent(QContextMenuEvent* event) {
    const auto menu = CreateContextMenu();
    menu->exec(event->globalPos());
}

bool CPrintList::ToggleOption(const char* key) {
    const int value = CIniReader(m_configPath).ReadInt("setting", key, 0);
    return CIniWriter(m_configPath).WriteInt("setting", key, value != 0 ? 0 : 1);
}

void CPrintList::OnPrintpaneset32811() { ToggleOption("DeleteList"); }
void CPrintList::OnPrintpaneset32812() { ToggleOption("DeleteListSource"); }

void CPrintList::OnPrintpaneset32829() {
    TraceLine("删除打印任务");
    for (;;) {
        int first = -1;
        for (int row = 0; row < topLevelItemCount() && first < 0; ++row)
            if (topLevelItem(row)->isSelected()) first = row;
        if (first < 0) return;
        delete takeTopLevelItem(first);
    }
}
