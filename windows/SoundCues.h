#pragma once

#include <QObject>
#include <QString>

#include <map>

class QSoundEffect;

// The program's sound cues: four clips compiled into the program ("#1" … "#4") and a plain
// tone. Without an audio device nothing plays and nothing fails.
class SoundCues : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the clip asynchronously, cutting off the one still playing. A name that is no
    // clip plays nothing.
    void play(const QString& name);
    // A sine tone; returns when it has ended. User input waits meanwhile.
    void beep(int frequency, int milliseconds);

private:
    // Clips are loaded on first use, so start-up does not wait for the audio system.
    std::map<QString, QSoundEffect*> clips_;
    QSoundEffect* playing_ = nullptr;
};
