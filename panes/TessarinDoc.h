#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "engine/PrintJob.h"
#include "engine/RipHead.h"

class CPreviewMaker;

// The job file the operator has opened: one document, reused for every file. It holds the path and the
// title, none of the raster data. Opening a job makes the missing previews of its folder (on a thread of
// their own, announced one by one), moves the program to the folder, reads the header for the property
// pane and records the path, from which the view finds the picture. What the document needs from the
// window around it comes in through the setters, so it stands without the main window.
class CTessarinDoc : public QObject {
    Q_OBJECT
public:
    // The title of a document made by the new-document step, and the application's name in the caption.
    static constexpr const char* kNewTitle = "Velkora";
    static constexpr const char* kAppTitle = "Tessarin";
    static constexpr const char* kUntitled = "无标题";

    using CopiesSource = std::function<int32_t()>;
    using JobSink = std::function<void(const std::shared_ptr<CPrintJob>&)>;
    using WidthSource = std::function<int()>;

    // configPath: Tessarin.ini, read at every open for RIPCOLOR; empty reads the defaults.
    explicit CTessarinDoc(std::filesystem::path configPath = {}, QObject* parent = nullptr);
    ~CTessarinDoc() override;
    CTessarinDoc(const CTessarinDoc&) = delete;
    CTessarinDoc& operator=(const CTessarinDoc&) = delete;

    void SetConfigPath(std::filesystem::path configPath) { m_configPath = std::move(configPath); }
    // The Y copies value of the property pane, read by OnPrint.
    void SetYCopiesSource(CopiesSource source) { m_yCopies = std::move(source); }
    // Where a printed job goes: the engine's queue and the job list.
    void SetJobSink(JobSink sink) { m_jobSink = std::move(sink); }
    // The preview view's width, which sets the previews' step; 0 or none takes the default width.
    void SetViewWidthSource(WidthSource source) { m_viewWidth = std::move(source); }

    bool OnNewDocument();
    // False when the job file cannot be opened; openFailed then says why and the previous path stays.
    bool OnOpenDocument(const QString& path);
    void DeleteContents();
    // A job named by the open job file with nCopies copies, handed to the job sink; none without a document.
    std::shared_ptr<CPrintJob> Print(int32_t nCopies);

    QString GetPathName() const { return m_pathName; }
    QString GetTitle() const { return m_title; }
    // "<title> - Tessarin", the main window's caption.
    QString WindowTitle() const;
    // Previews are still being made.
    bool PreviewsPending() const;

    // The job file a path names: a preview picture (a file name holding ".bmp" in any letter case) stands
    // for its job, cut at the first ".bmp": `job.prn.bmp` → `job.prn`; any other path is the job itself.
    static QString JobPathFor(const QString& path);

public slots:
    // The print command: Print with the Y copies value.
    std::shared_ptr<CPrintJob> OnPrint();

signals:
    // The header of the job being opened, with its derived values, for the property pane.
    void headLoaded(const RipHead& head);
    // The job's first 48 bytes could not be read; the property pane has no header to show.
    void headUnreadable(const QString& jobPath, const QString& reason);
    // The folder of the job being opened, for the folder and file panes.
    void folderChanged(const QString& folder);
    void titleChanged(const QString& title);
    // The document's path changed (empty after the new-document step); the view draws from it.
    void pathChanged(const QString& path);
    void documentOpened(const QString& path);
    // An open failed; the text is for a message box.
    void openFailed(const QString& message);
    void previewReady(const QString& picturePath);
    void previewFailed(const QString& jobPath, const QString& reason);
    // Previews made (or given up) out of those missing; done == total at the end.
    void previewProgress(int done, int total);
    void previewsIdle();

private:
    void MakeCurrentFolder(const QString& folder);
    void ShowHead(const QString& jobPath);
    bool OpenForReading(const QString& jobPath);
    void SetPathName(const QString& path);
    int ReadRipColor() const;

    std::filesystem::path m_configPath;
    CopiesSource m_yCopies;
    JobSink m_jobSink;
    WidthSource m_viewWidth;

    QString m_pathName;
    QString m_title;
    std::unique_ptr<CPreviewMaker> m_previews;
};
