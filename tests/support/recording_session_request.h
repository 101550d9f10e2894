// tests/support: a logout request of the session manager, answering whether the program may ask the user, and
// recording what the window did with it.
#pragma once

#include "app/frmMain.h"

class RecordingSessionEndRequest : public SessionEndRequest {
public:
    explicit RecordingSessionEndRequest(bool interaction) : interaction(interaction) {}
    bool interaction;
    int asked = 0; // allowsInteraction() calls
    int released = 0;
    int cancelled = 0;

    bool allowsInteraction() override {
        ++asked;
        return interaction;
    }
    void release() override { ++released; }
    void cancel() override { ++cancelled; }
};
