// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>

class QSoundEffect;

namespace corvane {

// Plays a sound resource by id without waiting for it.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(int soundId) = 0;
    // Gets the sound ready ahead of its first play, so that play is not lost to loading.
    virtual void preload(int) {}
};

// Plays through Qt Multimedia. The effect of each id is created on first use and kept, so a
// hover costs no file reading; with no audio device the effect simply stays silent.
class EffectSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit EffectSoundPlayer(QObject* parent = nullptr);
    void play(int soundId) override;
    void preload(int soundId) override;
    // The effect of `id` once loaded or loading; null before.
    QSoundEffect* effect(int soundId) const { return effects_.value(soundId); }

    // The process-wide player, owned by the application object.
    static EffectSoundPlayer* instance();

private:
    QHash<int, QSoundEffect*> effects_;
};

}  // namespace corvane
