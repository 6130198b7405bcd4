#include "SoundCues.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <numbers>

void SoundCues::play(const QString& name) {
    // "#n" names clip n among the program's resources.
    if (!name.startsWith(u'#'))
        return;
    const QString path = QStringLiteral(":/sounds/%1.wav").arg(name.mid(1));
    if (!QFile::exists(path))
        return;
    if (playing_)
        playing_->stop();
    playing_ = nullptr;
    if (QMediaDevices::audioOutputs().isEmpty())
        return;
    QSoundEffect*& clip = clips_[name];
    if (!clip) {
        clip = new QSoundEffect(this);
        clip->setSource(QUrl(QStringLiteral("qrc") + path));
    }
    clip->play();
    playing_ = clip;
}

void SoundCues::beep(int frequency, int milliseconds) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;

    // The tone, with 5 ms ramps at both ends so it starts and stops without a click.
    const int samples = 44100 * milliseconds / 1000;
    const int ramp = 44100 * 5 / 1000;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < samples; ++i) {
        const double envelope = std::min({1.0, double(i) / ramp, double(samples - 1 - i) / ramp});
        const double phase = 2 * std::numbers::pi * frequency * i / 44100.0;
        out[i] = qint16(std::lround(0.4 * 32767 * envelope * std::sin(phase)));
    }
    QBuffer buffer(&pcm);
    buffer.open(QIODevice::ReadOnly);
    QAudioSink sink(device, format);
    QEventLoop wait;
    connect(&sink, &QAudioSink::stateChanged, &wait, [&](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            wait.quit();
    });
    // However the device behaves, the wait ends shortly after the tone's length.
    QTimer::singleShot(milliseconds + 300, &wait, &QEventLoop::quit);
    sink.start(&buffer);
    if (sink.state() != QAudio::StoppedState)
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    sink.stop();
}
