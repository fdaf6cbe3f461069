#include "controls/SoundPlayer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSoundEffect>

#include "controls/Artwork.h"

namespace corvane {

EffectSoundPlayer::EffectSoundPlayer(QObject* parent) : QObject(parent) {}

void EffectSoundPlayer::play(int soundId) {
    QSoundEffect*& effect = effects_[soundId];
    if (!effect) {
        const QUrl url = artwork::soundUrl(soundId);
        if (url.isEmpty()) return;
        effect = new QSoundEffect(this);
        effect->setSource(url);
        effect->setVolume(0.6f);
    }
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
