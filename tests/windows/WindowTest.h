#pragma once

// What the window tests share: a fresh settings folder per test, the fixtures, and a way to
// answer the message box an action opens.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include "Startup.h"
#include "Unit1.h"

namespace windowtest {

inline QString fixture(const QString& name) {
    return QStringLiteral(GEODOT_FIXTURES "/") + name;
}

// Points the user's configuration folder, and the cache folder in it, at a new empty folder for
// the test's lifetime.
class ConfigHome {
public:
    ConfigHome() {
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        qputenv("XDG_CACHE_HOME", cacheFolder().toUtf8());
    }
    QString cacheFolder() const { return dir_.path() + QStringLiteral("/cache"); }
    QString path() const { return dir_.path(); }
    QString settingsFile() const {
        return dir_.path() + QStringLiteral("/NORVANE/") + QStringLiteral(GEODOT_TEST_EXE) +
               QStringLiteral(".ini");
    }

private:
    QTemporaryDir dir_;
};

// A writable copy of a fixture in `dir`.
inline QString copyOf(const QTemporaryDir& dir, const QString& fixtureName,
                      const QString& fileName = QStringLiteral("photo.jpg")) {
    const QString photo = dir.filePath(fileName);
    QFile::copy(fixture(fixtureName), photo);
    QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner);
    return photo;
}

inline QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline void writeText(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

// The GPS page's position: hemisphere items (0 north/east, 1 south/west) and the texts of
// degrees, minutes and seconds.
inline void setFields(TForm1& form, int ns, const QStringList& lat, int ew,
                      const QStringList& lon) {
    form.ComboBoxLatitude->setCurrentIndex(ns);
    form.EditLat1->setText(lat[0]);
    form.EditLat2->setText(lat[1]);
    form.EditLat3->setText(lat[2]);
    form.ComboBoxLongitude->setCurrentIndex(ew);
    form.EditLon1->setText(lon[0]);
    form.EditLon2->setText(lon[1]);
    form.EditLon3->setText(lon[2]);
}

// The remembered places' menu items as "caption#Tag".
inline QStringList placeItems(const TForm1& form) {
    QStringList items;
    const QList<QAction*> actions = form.PMGPS->actions();
    for (qsizetype i = form.PMGPSCount; i < actions.size(); ++i)
        items << actions[i]->text() + QStringLiteral("#") + actions[i]->data().toString();
    return items;
}

// The GPS page's position fields as they show: hemisphere, degrees, minutes, seconds.
inline QStringList latitudeFields(const TForm1& form) {
    return {form.ComboBoxLatitude->currentText(), form.EditLat1->text(), form.EditLat2->text(),
            form.EditLat3->text()};
}

inline QStringList longitudeFields(const TForm1& form) {
    return {form.ComboBoxLongitude->currentText(), form.EditLon1->text(), form.EditLon2->text(),
            form.EditLon3->text()};
}

inline std::unique_ptr<TForm1> newWindow(const QStringList& arguments = {}) {
    return CreateWindows(arguments.isEmpty() ? QStringList{QStringLiteral(GEODOT_TEST_EXE)}
                                             : arguments);
}

// Runs `inDialog` once the modal dialog `action` opens is up.
inline void withDialog(const std::function<void()>& action,
                       const std::function<void(QWidget*)>& inDialog) {
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            inDialog(dialog);
    });
    action();
}

// What the message boxes an action opened said: with `yes`, a box offering Yes is answered Yes;
// a question is answered with the button captioned `answer`; any other box is closed.
struct Boxes {
    QStringList texts;
    QStringList questionButtons;
};

inline Boxes answering(const QString& answer, const std::function<void()>& action,
                       bool yes = false) {
    Boxes seen;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen.texts << box->text();
        if (QAbstractButton* yesButton = box->button(QMessageBox::Yes); yes && yesButton)
            return yesButton->click();
        const QList<QAbstractButton*> buttons = box->buttons();
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : buttons) {
            if (box->icon() == QMessageBox::Question)
                seen.questionButtons << b->text();
            if (b->text() == answer)
                chosen = b;
        }
        if (box->icon() == QMessageBox::Question && chosen)
            chosen->click();
        else
            box->done(0);
    });
    timer.start();
    action();
    timer.stop();
    return seen;
}

// Runs `action`, which is expected to open a message box; returns the box's text and closes it.
// Empty when no box appeared.
inline QString answerMessageBox(const std::function<void()>& action,
                                QMessageBox::Icon* icon = nullptr) {
    QString text;
    // The timer lives only as long as the action: when no box opens, nothing is left pending.
    QTimer answer;
    answer.setSingleShot(true);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            if (icon)
                *icon = box->icon();
            box->done(0);
        }
    });
    answer.start(0);
    action();
    return text;
}

} // namespace windowtest
