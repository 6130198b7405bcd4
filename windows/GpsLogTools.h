#pragma once

// Positions from GPS logs in the window: logs loaded from the file menu, the open photo's GPS
// fields filled from them when its time matches, a dialog for the camera's zone and clock
// error, and the logs applied to every photo of the open photo's folder.

#include <QObject>
#include <QString>
#include <QStringList>

#include "GpsLog.h"

class QAction;
class QLabel;
class TForm1;

class GpsLogTools : public QObject {
    Q_OBJECT

  public:
    // Adds its items to the window's file menu and its label to the status bar.
    explicit GpsLogTools(TForm1* form);

    QAction *MM_FL = nullptr, *MM_FZ = nullptr, *MM_FA = nullptr;
    // Says where the GPS fields came from, or why the log gave nothing for the photo.
    QLabel* LabelGpsLog = nullptr;

    // Reads the logs into the track (replacing it); the messages of the logs that failed or had
    // lines skipped, one line each, empty when all were read cleanly.
    QString loadLogs(const QStringList& paths);
    // The zone ("+09:00", "Asia/Tokyo", empty for the computer's) and camera clock error; an
    // EngineError for an unknown zone.
    void setTiming(const QString& zone, double cameraErrorSeconds);
    QString zoneText() const { return zoneText_; }
    double cameraErrorSeconds() const;
    // What the time dialog shows for the open photo: its clock, the zone, the UTC instant and
    // the distance in time to the nearest log point.
    QString timeReport(const GpsLog::Timing& timing) const;
    // Fills the open photo's GPS fields from the track when its time matches; whether it did.
    bool photoOpened();
    // Applies the track to every JPEG in the open photo's folder, with a cancellable progress
    // dialog; the summary shown at the end.
    QString applyToFolder();

    const GpsLog::Track& track() const { return track_; }
    const GpsLog::Timing& timing() const { return timing_; }

  private:
    void MM_FLClick();
    void MM_FZClick();
    void MM_FAClick();
    void updateActions();
    void drawTrack();

    TForm1* form_;
    GpsLog::Track track_;
    GpsLog::Timing timing_;
    QString zoneText_;
};
