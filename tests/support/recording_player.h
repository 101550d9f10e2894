// tests/support: a player component for the tests of the player commands and of the window that runs them.
#pragma once

#include "platform/error.h"
#include "player/player_component.h"

#include <QStringList>

// Records every call in order; volume and mute behave like a component without a range of its own.
class RecordingPlayer : public player::PlayerComponent {
public:
    QStringList calls;
    QString url;
    qint32 volume = 50;
    bool mute = false;
    QString failOn; // a call by this name throws, as a failing component would

    void record(const QString& call) {
        calls << call;
        if (!failOn.isEmpty() && call.startsWith(failOn))
            throw platform::RuntimeError(platform::errObjectFailed, call);
    }
    void put_URL(const QString& u) override {
        record(QStringLiteral("URL=") + u);
        url = u;
    }
    QString get_URL() const override { return url; }
    void controls_play() override { record(QStringLiteral("play")); }
    void controls_stop() override { record(QStringLiteral("stop")); }
    qint32 get_settings_volume() const override { return volume; }
    void put_settings_volume(qint32 v) override {
        record(QStringLiteral("volume=%1").arg(v));
        volume = v;
    }
    bool get_settings_mute() const override { return mute; }
    void put_settings_mute(bool m) override {
        record(QStringLiteral("mute=%1").arg(m));
        mute = m;
    }
    QString get_uiMode() const override { return {}; }
    void put_uiMode(const QString& m) override { record(QStringLiteral("uiMode=") + m); }
    bool get_enableContextMenu() const override { return true; }
    void put_enableContextMenu(bool e) override { record(QStringLiteral("enableContextMenu=%1").arg(e)); }
};
