#include "GpsLogTools.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>

#include <chrono>
#include <cmath>

#include "BusyCursor.h"
#include "Exif.h"
#include "FieldValues.h"
#include "PhotoFolder.h"
#include "Unit1.h"

using namespace std::chrono;

namespace {

QString dateTimeText(GpsLog::Time t) {
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<GpsLog::Milliseconds> time{t - day};
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(int(ymd.year()), 4, 10, QChar(u'0'))
        .arg(unsigned(ymd.month()), 2, 10, QChar(u'0'))
        .arg(unsigned(ymd.day()), 2, 10, QChar(u'0'))
        .arg(time.hours().count(), 2, 10, QChar(u'0'))
        .arg(time.minutes().count(), 2, 10, QChar(u'0'))
        .arg(time.seconds().count(), 2, 10, QChar(u'0'));
}

QString offsetText(seconds offset) {
    const auto minutesAll = std::abs(offset.count()) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offset.count() < 0 ? u'-' : u'+')
        .arg(minutesAll / 60, 2, 10, QChar(u'0'))
        .arg(minutesAll % 60, 2, 10, QChar(u'0'));
}

QString secondsText(GpsLog::Milliseconds d) {
    return QString::number(std::llround(double(d.count()) / 1000));
}

} // namespace

GpsLogTools::GpsLogTools(TForm1* form) : QObject(form), form_(form) {
    auto item = [&](const char* name, const QString& caption, void (GpsLogTools::*handler)()) {
        auto* action = new QAction(caption, form->MM_F);
        action->setObjectName(QString::fromLatin1(name));
        form->MM_F->insertAction(form->N2, action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    MM_FL = item("MM_FL", QStringLiteral("GPSログを読み込む… (&G)"), &GpsLogTools::MM_FLClick);
    MM_FZ = item("MM_FZ", QStringLiteral("撮影時刻の補正… (&T)"), &GpsLogTools::MM_FZClick);
    MM_FA = item("MM_FA", QStringLiteral("フォルダーの写真にログを適用… (&A)"),
                 &GpsLogTools::MM_FAClick);
    LabelGpsLog = new QLabel(form);
    LabelGpsLog->setObjectName(QStringLiteral("LabelGpsLog"));
    form->statusBar()->addWidget(LabelGpsLog, 1);
    updateActions();
}

void GpsLogTools::updateActions() {
    MM_FA->setEnabled(!track_.points.empty() && !form_->CurrentFileName.isEmpty());
}

QString GpsLogTools::loadLogs(const QStringList& paths) {
    BusyCursor busy;
    GpsLog::Track track;
    QStringList problems;
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName();
        try {
            const GpsLog::LogSummary& log = GpsLog::AddLog(track, path.toStdString());
            if (log.skipped > 0)
                problems << QStringLiteral(
                                "「%1」: %2 点を読み込み、壊れた %3 行・要素を読み飛ばしました。")
                                .arg(name)
                                .arg(log.points)
                                .arg(log.skipped);
            if (!log.problem.empty())
                problems << QStringLiteral("「%1」: 途中で読み込みを終えました (%2)")
                                .arg(name, QString::fromStdString(log.problem));
        } catch (const std::exception& e) {
            problems << QStringLiteral("「%1」を読み込めません: %2")
                            .arg(name, QString::fromUtf8(e.what()));
        }
    }
    const bool loaded = !track.points.empty();
    if (loaded) {
        track_ = std::move(track);
        drawTrack();
    }
    updateActions();
    // The map goes to the open photo when the log places it, else it shows the whole track.
    const bool placed = !form_->CurrentFileName.isEmpty() && photoOpened();
    if (loaded && !placed)
        form_->fitMapToTrack();
    return problems.join(u'\n');
}

void GpsLogTools::drawTrack() {
    // A browser draws a few thousand points at once; a day's log at one point a second
    // is thinned to that.
    constexpr std::size_t kDrawnPoints = 5000;
    QJsonArray lines;
    for (const auto& line : GpsLog::TrackLines(track_.points, timing_.maxGap, kDrawnPoints)) {
        QJsonArray points;
        for (const GpsLog::Point& p : line)
            points.append(QJsonArray{p.lat, p.lon});
        lines.append(points);
    }
    form_->setMapTrack(lines);
}

void GpsLogTools::setTiming(const QString& zone, double cameraErrorSeconds) {
    const QString text = zone.trimmed();
    timing_.zone = text.isEmpty() ? GpsLog::Zone::Local() : GpsLog::Zone::Parse(text.toStdString());
    timing_.cameraError = GpsLog::Milliseconds{std::llround(cameraErrorSeconds * 1000)};
    zoneText_ = text;
}

double GpsLogTools::cameraErrorSeconds() const {
    return double(timing_.cameraError.count()) / 1000;
}

QString GpsLogTools::timeReport(const GpsLog::Timing& timing) const {
    const auto instant = GpsLog::InstantOfPhoto(timing.zone, timing.cameraError);
    if (!instant)
        return QStringLiteral("開いている写真に撮影日時がありません。");
    QString report = QStringLiteral("カメラの時計: %1 (%2%3)\n撮影時刻 (UTC): %4")
                         .arg(dateTimeText(instant->camera), offsetText(instant->utcOffset),
                              instant->offsetFromPhoto ? QStringLiteral("、写真の記録") : QString(),
                              dateTimeText(instant->utc));
    const GpsLog::Match m = GpsLog::MatchInstant(track_.points, instant->utc, timing.maxGap);
    if (m.distance)
        report += QStringLiteral("\nログの最も近い点との差: %1 秒").arg(secondsText(*m.distance));
    return report;
}

bool GpsLogTools::photoOpened() {
    updateActions();
    if (track_.points.empty())
        return false;
    const auto instant = GpsLog::InstantOfPhoto(timing_.zone, timing_.cameraError);
    if (!instant) {
        LabelGpsLog->setText(QStringLiteral("GPSログ: 写真に撮影日時がありません"));
        return false;
    }
    const GpsLog::Match m = GpsLog::MatchInstant(track_.points, instant->utc, timing_.maxGap);
    if (m.kind == GpsLog::MatchKind::None) {
        LabelGpsLog->setText(QStringLiteral("GPSログ: 撮影時刻 %1 UTC の近くに点がありません")
                                 .arg(dateTimeText(m.time)));
        return false;
    }
    form_->ComboBoxLatitude->setCurrentIndex(m.lat < 0 ? 1 : 0);
    form_->EditLat1->setText(numberText(std::fabs(m.lat)));
    form_->EditLat2->setText(QStringLiteral("0"));
    form_->EditLat3->setText(QStringLiteral("0"));
    form_->ComboBoxLongitude->setCurrentIndex(m.lon < 0 ? 1 : 0);
    form_->EditLon1->setText(numberText(std::fabs(m.lon)));
    form_->EditLon2->setText(QStringLiteral("0"));
    form_->EditLon3->setText(QStringLiteral("0"));
    if (!std::isnan(m.alt)) {
        form_->ComboBoxAltitude->setCurrentIndex(m.alt < 0 ? 1 : 0);
        form_->EditAlt->setText(numberText(std::fabs(m.alt)));
    }
    // 更新 stamps the GPS time with the photo's instant.
    ExifDetails::NewGpsStamp = m.time;
    form_->ButtonFindPlaceClick();
    LabelGpsLog->setText(QStringLiteral("GPSログから (%1、%2 UTC)")
                             .arg(m.kind == GpsLog::MatchKind::Interpolated
                                      ? QStringLiteral("補間")
                                      : QStringLiteral("最も近い点"),
                                  dateTimeText(m.time)));
    return true;
}

QString GpsLogTools::applyToFolder() {
    const QDir folder = QFileInfo(form_->CurrentFileName).absoluteDir();
    const QStringList names = PhotosOfFolder(folder);
    QProgressDialog progress(QStringLiteral("写真にログを適用しています…"), QStringLiteral("中止"),
                             0, int(names.size()), form_);
    progress.setObjectName(QStringLiteral("ProgressGpsLog"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    QStringList tagged, unmatched, failed;
    for (qsizetype i = 0; i < names.size() && !progress.wasCanceled(); ++i) {
        progress.setLabelText(QStringLiteral("写真にログを適用しています… %1").arg(names[i]));
        try {
            const GpsLog::Match m =
                GpsLog::PlacePhoto(folder.filePath(names[i]).toStdString(), track_.points, timing_);
            (m.kind == GpsLog::MatchKind::None ? unmatched : tagged) << names[i];
        } catch (const std::exception& e) {
            failed << QStringLiteral("%1 (%2)").arg(names[i], QString::fromUtf8(e.what()));
        }
        progress.setValue(int(i + 1)); // the window's events are handled here
    }
    const bool cancelled = progress.wasCanceled();
    progress.close();
    // The engine now holds the last photo of the folder: the open one is read again.
    form_->FileOpen(form_->CurrentFileName);
    auto list = [](const QStringList& items) {
        return items.isEmpty() ? QString()
                               : QStringLiteral("\n  ") + items.join(QStringLiteral("\n  "));
    };
    QString summary =
        QStringLiteral("位置を書き込みました: %1 枚%2\n一致なし: %3 枚%4\n失敗: %5 枚%6")
            .arg(tagged.size())
            .arg(list(tagged))
            .arg(unmatched.size())
            .arg(list(unmatched))
            .arg(failed.size())
            .arg(list(failed));
    if (cancelled)
        summary.prepend(QStringLiteral("中止しました (残りの写真はそのままです)。\n"));
    return summary;
}

void GpsLogTools::MM_FLClick() {
    QFileDialog dialog(form_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({QStringLiteral("GPSログ (*.gpx *.kml *.nmea *.nma *.txt *.log)"),
                           QStringLiteral("すべて (*.*) (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString problems = loadLogs(dialog.selectedFiles());
    if (!problems.isEmpty())
        QMessageBox::warning(form_, form_->ExeName, problems);
}

void GpsLogTools::MM_FZClick() {
    QDialog dialog(form_);
    dialog.setObjectName(QStringLiteral("GpsLogTimeDialog"));
    dialog.setWindowTitle(QStringLiteral("撮影時刻の補正"));
    auto* zone = new QLineEdit(zoneText_, &dialog);
    zone->setObjectName(QStringLiteral("EditTimeZone"));
    zone->setPlaceholderText(QStringLiteral("このコンピューターのタイムゾーン"));
    auto* offset = new QLineEdit(numberText(cameraErrorSeconds()), &dialog);
    offset->setObjectName(QStringLiteral("EditCameraOffset"));
    auto* report = new QLabel(&dialog);
    report->setObjectName(QStringLiteral("LabelTimeReport"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* layout = new QFormLayout(&dialog);
    layout->addRow(QStringLiteral("タイムゾーン (+09:00、Asia/Tokyo など):"), zone);
    layout->addRow(QStringLiteral("カメラの時計の進み (秒):"), offset);
    layout->addRow(report);
    layout->addRow(buttons);
    auto refresh = [&] {
        try {
            GpsLog::Timing t = timing_;
            t.zone = zone->text().trimmed().isEmpty()
                         ? GpsLog::Zone::Local()
                         : GpsLog::Zone::Parse(zone->text().trimmed().toStdString());
            t.cameraError = GpsLog::Milliseconds{std::llround(numberIn(offset) * 1000)};
            report->setText(form_->CurrentFileName.isEmpty() ? QString() : timeReport(t));
            buttons->button(QDialogButtonBox::Ok)->setEnabled(true);
        } catch (const std::exception& e) {
            report->setText(QString::fromUtf8(e.what()));
            buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
        }
    };
    connect(zone, &QLineEdit::textChanged, &dialog, refresh);
    connect(offset, &QLineEdit::textChanged, &dialog, refresh);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    refresh();
    if (dialog.exec() != QDialog::Accepted)
        return;
    setTiming(zone->text(), numberIn(offset));
    if (!form_->CurrentFileName.isEmpty())
        photoOpened();
}

void GpsLogTools::MM_FAClick() {
    if (QMessageBox::question(
            form_, form_->ExeName,
            QStringLiteral("フォルダーのすべての JPEG 写真に GPS ログの位置を書き込みます。\n"
                           "開いている写真は読み込み直されます。")) != QMessageBox::Yes)
        return;
    // The open photo is read again afterwards: its unsaved changes are saved or let go first.
    if (!form_->ConfirmLeave())
        return;
    QMessageBox::information(form_, form_->ExeName, applyToFolder());
}
