// The record viewer's window: the lanes of one record file, the statistics of the visible range, the value
// at the cursor, Follow, and the exports.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "record_picture.h"
#include "record_reader.h"

class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QTableWidget;
class QToolButton;
class RecordCanvas;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
  public:
    ViewerWindow(const QString& path, const QString& sensorId, bool follow);

    // For tests and the journeys: the data, the view, and the steps of loading.
    const records::RecordData& Data() const;
    const PictureView& View() const { return view_; }
    void SetView(const PictureView& view);
    bool Loading() const { return loading_; }
    QString Problems() const;
    void SetFollow(bool on);
    void ZoomAt(double factor, double x);
    void PanBy(double fraction);
    void FitAllLines();
    void SetCursorLine(long long line);
    QString StatusText() const;
    // The statistics table (one row per signal: at cursor, count, min, max, mean, standard deviation).
    QTableWidget* StatsTable() const { return stats_; }

  private:
    void OpenFile();
    void LoadStep();
    void FollowStep();
    void AfterNewLines(std::size_t before, double endBefore);
    void AfterReadAgain();
    void UpdateStats();
    void UpdateStatus();
    void UpdateTitle();
    void ExportPicture(bool svg);
    void ExportCsv();
    bool IsTheRecordItself(const QString& file, const QString& what);
    void ShowProblems();

    QString path_, sensorId_;
    std::unique_ptr<records::RecordReader> reader_;
    QString openError_;
    QString note_;  // the time and why the file was read again from its start, when it was
    PictureView view_;
    bool fitted_ = true;  // the view shows all lines, and keeps doing so as lines come
    bool loading_ = false;
    RecordCanvas* canvas_;
    QTableWidget* stats_;
    QProgressBar* progress_;
    QLabel* status_;
    QToolButton* problemsButton_;
    QAction* followAction_;
    QAction* lineAxisAction_;
    std::array<QCheckBox*, records::kSignals> signalBoxes_{};
    QTimer loadTimer_, followTimer_, statsTimer_;
};
