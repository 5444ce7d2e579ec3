#pragma once

// A program directory of its own for each window test: the virtual printer libraries, the shipped language
// files and a Tessarin.ini, a hot folder, a free loopback port, and the real application started on it.

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/RipHead.h"
#include "panes/PrintList.h"
#include "panes/PrintPane.h"
#include "panes/PropPane.h"
#include "panes/PropertyGrid.h"
#include "shell/MainFrm.h"
#include "shell/StatusChangedEvent.h"
#include "shell/TessarinApp.h"

namespace guitest {

inline const QString kDrivers = QStringLiteral(TESSARIN_BINARY_DIR "/drivers");
inline const QString kLanguageSource = QStringLiteral(TESSARIN_SOURCE_DIR "/resources/Language");

// The run-time and configuration folders of the user, replaced for the whole test program so that the
// single-instance socket and the saved layout never meet a real Tessarin or another test program.
inline void IsolateUserFolders() {
    static QTemporaryDir folders;
    QDir(folders.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(folders.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (folders.path() + QStringLiteral("/runtime")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (folders.path() + QStringLiteral("/config")).toUtf8());
}

inline uint16_t FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A job of `planes` planes with `height` lines of `byteperline` bytes; the stored colour is the plane count,
// so the same bytes serve as a job file and as a TCP stream.
inline std::string JobBytes(uint32_t byteperline, uint32_t height, uint32_t planes = 4) {
    RipHead head;
    head.signature = 0x4A4F4231;
    head.xdpi = 720;
    head.ydpi = 720;
    head.byteperline = byteperline;
    head.height = height;
    head.width = byteperline * 4;
    head.color = planes;
    head.bit = 2;
    const auto bytes = head.ToBytes();
    std::string job(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (uint64_t i = 0; i < uint64_t{byteperline} * planes * height; ++i) job.push_back(static_cast<char>(i * 7 + 1));
    return job;
}

inline bool SendJob(uint16_t port, const std::string& bytes) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return false;
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(5000)) return false;
    socket.disconnectFromHost();
    return true;
}

class ProgramDir {
public:
    ProgramDir() {
        const std::filesystem::path dir = Path();
        for (const char* lib : {"VirtualPrinter.so", "VirtualPrinterSetting.so"})
            QFile::copy(kDrivers + QLatin1Char('/') + QLatin1String(lib), QString::fromStdString((dir / lib).string()));
        std::filesystem::create_directories(dir / "Language");
        std::filesystem::create_directories(dir / "hot");
        for (const char* file : {"Language.ini", "chinese.ini", "english.ini"})
            QFile::copy(kLanguageSource + QLatin1Char('/') + QLatin1String(file),
                        QString::fromStdString((dir / "Language" / file).string()));
        m_ini = "[setting]\nPrinterSettingDll=VirtualPrinterSetting\nHotFolder=hot\n"
                "HotFolderSettleMs=100\nHotFolderWaitMs=2000\n";
        SetPrinterSpeed(0);
    }

    std::filesystem::path Path() const { return m_dir.path().toStdString(); }
    std::filesystem::path Hot() const { return Path() / "hot"; }
    std::filesystem::path Output() const { return Path() / "VirtualPrinterOutput"; }
    std::filesystem::path Ini() const { return Path() / "Tessarin.ini"; }
    void AddIni(const std::string& lines) { m_ini += lines; }
    void SetPrinterDll(const std::string& name) { m_printerDll = name; }
    // Raster lines per second the virtual printer takes; 0: as fast as it can.
    void SetPrinterSpeed(int linesPerSecond) {
        WriteText(Path() / "VirtualPrinter.ini",
                  "[VirtualPrinter]\nOutputFolder=VirtualPrinterOutput\nLinesPerSecond=" +
                      std::to_string(linesPerSecond) + "\n");
    }
    std::filesystem::path WriteJob(const std::string& name, uint32_t byteperline, uint32_t height) const {
        const auto path = Path() / name;
        WriteText(path, JobBytes(byteperline, height));
        return path;
    }

    // Starts the application on this directory; the port is a free loopback port.
    std::unique_ptr<CTessarinApp> Start(CommandLine cl = {}) {
        WriteText(Ini(), m_ini + "PrinterDll=" + m_printerDll + "\n");
        cl.home = Path();
        m_port = FreePort();
        cl.nPort = m_port;
        auto app = std::make_unique<CTessarinApp>(cl);
        if (!app->InitInstance()) return nullptr;
        return app;
    }
    uint16_t Port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    std::string m_ini;
    std::string m_printerDll = "VirtualPrinter";
    uint16_t m_port = 0;
};

// The state column of a job's row, or an empty text when the job has no row.
inline QString StateOf(CPrintList* list, const std::shared_ptr<CPrintJob>& job) {
    const int row = list->RowOf(job.get());
    return row < 0 ? QString() : list->topLevelItem(row)->text(CPrintList::COLUMN_STATE);
}

inline QString ScheduleOf(CPrintList* list, const std::shared_ptr<CPrintJob>& job) {
    const int row = list->RowOf(job.get());
    return row < 0 ? QString() : list->topLevelItem(row)->text(CPrintList::COLUMN_SCHEDULE);
}

struct ChosenItem {
    bool found = false;
    bool checked = false;
    QString text;
};

// Opens the job list's context menu as a right click does and chooses the item with the command id.
inline ChosenItem ChooseFromContextMenu(CPrintList* list, int32_t id) {
    ChosenItem chosen;
    QTimer::singleShot(0, list, [&chosen, id] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        QAction* target = nullptr;
        for (QAction* action : menu->actions())
            if (action->data().toInt() == id) target = action;
        if (target) {
            chosen = {true, target->isChecked(), target->text()};
            menu->setActiveAction(target);
        }
        menu->close();
        if (target) target->trigger();
    });
    const QPoint at(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    return chosen;
}

inline void SelectOnly(CPrintList* list, const std::vector<std::shared_ptr<CPrintJob>>& jobs) {
    list->clearSelection();
    for (const auto& job : jobs) list->topLevelItem(list->RowOf(job.get()))->setSelected(true);
}

}  // namespace guitest
