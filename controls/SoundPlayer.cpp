// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/SoundPlayer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSoundEffect>

#include "controls/Artwork.h"

namespace corvane {

EffectSoundPlayer::EffectSoundPlayer(QObject* parent) : QObject(parent) {}

void EffectSoundPlayer::preload(int soundId) {
    if (effects_.value(soundId)) return;
    const QUrl url = artwork::soundUrl(soundId);
    if (url.isEmpty()) return;
    auto* effect = new QSoundEffect(this);
    // Loading starts here and goes on in the background.
    effect->setSource(url);
    effect->setVolume(0.6f);
    effects_.insert(soundId, effect);
}

void EffectSoundPlayer::play(int soundId) {
    preload(soundId);
    QSoundEffect* effect = effects_.value(soundId);
    if (!effect) return;
    // A click while the last one still sounds starts it again rather than queueing.
    effect->stop();
    effect->play();
}

EffectSoundPlayer* EffectSoundPlayer::instance() {
    static QPointer<EffectSoundPlayer> player;
    if (!player && QCoreApplication::instance())
        player = new EffectSoundPlayer(QCoreApplication::instance());
    return player;
}

}  // namespace corvane
