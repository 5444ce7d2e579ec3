#include "panes/TessarinDoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/RipFile.h"
#include "panes/PreviewMaker.h"
#include "shell/IniReader.h"
#include "shell/Trace.h"

namespace {

std::filesystem::path ToPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

// Absolute and without "." or ".." parts, so that one file has one name for the comparisons below.
QString Normalised(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

}  // namespace

CTessarinDoc::CTessarinDoc(std::filesystem::path configPath, QObject* parent)
    : QObject(parent), m_configPath(std::move(configPath)), m_previews(std::make_unique<CPreviewMaker>()) {
    connect(m_previews.get(), &CPreviewMaker::previewReady, this, &CTessarinDoc::previewReady);
    connect(m_previews.get(), &CPreviewMaker::previewFailed, this, &CTessarinDoc::previewFailed);
    connect(m_previews.get(), &CPreviewMaker::progress, this, &CTessarinDoc::previewProgress);
    connect(m_previews.get(), &CPreviewMaker::idle, this, &CTessarinDoc::previewsIdle);
}

CTessarinDoc::~CTessarinDoc() = default;

QString CTessarinDoc::WindowTitle() const {
    return (m_title.isEmpty() ? QString::fromUtf8(kUntitled) : m_title) + " - " + kAppTitle;
}

bool CTessarinDoc::PreviewsPending() const { return m_previews->IsBusy(); }

QString CTessarinDoc::JobPathFor(const QString& path) {
    // Only the file name is looked at: a folder named `scans.bmp` holds jobs, not pictures. The file pane
    // lists `JOB.PRN.BMP` as a preview, so the letter case does not matter either.
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    const qsizetype cut = path.indexOf(".bmp", nameStart, Qt::CaseInsensitive);
    return cut < 0 ? path : path.left(cut);
}

bool CTessarinDoc::OnNewDocument() {
    DeleteContents();
    m_pathName.clear();
    m_title = QString::fromUtf8(kNewTitle);
    emit pathChanged(m_pathName);
    emit titleChanged(m_title);
    return true;
}

void CTessarinDoc::DeleteContents() { TraceLine("释放资源"); }

bool CTessarinDoc::OnOpenDocument(const QString& requested) {
    TraceLine("Start: 打开一个文件");
    if (requested.isEmpty()) {  // would name the current folder
        emit openFailed(QString::fromUtf8("打开文档失败。"));
        return false;
    }
    const QString path = Normalised(requested);
    // File names differ by letter case here, so the same name means the same letters.
    if (!m_pathName.isEmpty() && path == m_pathName) return true;

    const QString jobPath = JobPathFor(path);
    const QString folder = QFileInfo(jobPath).absolutePath();
    const int width = m_viewWidth ? m_viewWidth() : 0;
    m_previews->MakeMissing(ToPath(folder), ToPath(jobPath), width, ReadRipColor());
    MakeCurrentFolder(folder);
    ShowHead(jobPath);
    if (!OpenForReading(jobPath)) return false;
    SetPathName(jobPath);
    return true;
}

int CTessarinDoc::ReadRipColor() const {
    if (m_configPath.empty()) return 1;
    return CIniReader(m_configPath).ReadInt("setting", "RIPCOLOR", 1);
}

void CTessarinDoc::MakeCurrentFolder(const QString& folder) {
    if (Normalised(QDir::currentPath()) != folder) QDir::setCurrent(folder);
    emit folderChanged(folder);
}

void CTessarinDoc::ShowHead(const QString& jobPath) {
    const HeadReadResult read = CRipFile::ReadHead(ToPath(jobPath));
    if (read.error == HeadError::CannotOpen || read.error == HeadError::TooShort) {
        const std::string_view reason = HeadErrorText(read.error);
        emit headUnreadable(jobPath, QString::fromUtf8(reason.data(), qsizetype(reason.size())));
        return;
    }
    // A header whose values cannot be used is still shown as it stands; printing it reports the fault.
    emit headLoaded(read.head);
}

bool CTessarinDoc::OpenForReading(const QString& jobPath) {
    const QFileInfo info(jobPath);
    if (!info.exists()) {
        emit openFailed(QString::fromUtf8("%1\n无法找到此文件。\n请确认提供了正确的路径和文件名。").arg(jobPath));
        return false;
    }
    QFile file(jobPath);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        emit openFailed(QString::fromUtf8("打开文档失败。"));
        return false;
    }
    return true;
}

void CTessarinDoc::SetPathName(const QString& path) {
    m_pathName = path;
    m_title = QFileInfo(path).fileName();
    emit pathChanged(m_pathName);
    emit titleChanged(m_title);
    emit documentOpened(m_pathName);
}

std::shared_ptr<CPrintJob> CTessarinDoc::Print(int32_t nCopies) {
    TraceLine("创建作业开始打印. Call: ");
    if (m_pathName.isEmpty()) return nullptr;
    auto job = std::make_shared<CPrintJob>(JobPathFor(m_pathName).toStdString(), nCopies);
    if (m_jobSink) m_jobSink(job);
    return job;
}

std::shared_ptr<CPrintJob> CTessarinDoc::OnPrint() { return Print(m_yCopies ? m_yCopies() : 1); }
