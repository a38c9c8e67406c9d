#pragma once

#include "jobs/job_events.h"

#include <QStringList>
#include <QWidget>

class QPushButton;
class QTreeWidget;

namespace orvana::app {

// The results of the last download job, a non-modal window of the main window: one row per song
// the job was done with and one per failure that is no single song's, in the order the job
// reported them, added while the job runs. Its buttons ask the main window to retry or to open
// the download folder; the failures can be copied as text. Window thread.
class frmResult : public QWidget {
    Q_OBJECT
public:
    explicit frmResult(QWidget* owner);

    [[nodiscard]] static QString Caption();

    // A new job starts: the rows of the last one go.
    void clear();
    void addSong(const jobs::SongEvent& song);
    void addError(const jobs::JobError& error);
    // While a download runs, retry is disabled (as it is when nothing failed).
    void setDownloading(bool downloading);

Q_SIGNALS:
    void retryRequested();
    void openFolderRequested();

private:
    void addRow(const QString& album, const QString& song, const QString& state,
                const QString& file);
    void addFailure(const QString& album, const QString& song, const QString& reason,
                    const QString& file);
    void copyFailures() const;
    void updateButtons();

    QTreeWidget* lstResult = nullptr;
    QPushButton* cmdRetry = nullptr;
    QPushButton* cmdOpenFolder = nullptr;
    QPushButton* cmdCopyFailures = nullptr;
    QPushButton* cmdClose = nullptr;
    QStringList m_failures;
    bool m_downloading = false;
};

} // namespace orvana::app
