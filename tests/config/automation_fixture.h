// What the command-line, script-file and registration tests share: a fresh platform with a
// scratch folder, the test stand-in for the main dialog, and the message boxes shown (recorded on
// the simulation; under Wine a box would wait for a user, so tests that expect one run only there).
#pragma once
#include "controls.h"
#include "copyjob.h"
#include "dialog.h"
#include "dialogwords.h"
#include "sim_api.h"
#include "tree.h"
#include <string>
#include <vector>
#ifdef KESTREL_SIM
#include "msgbox_record.h"
#endif

// Skips the rest of a test on Wine, where the box it expects would wait for a user.
#define SHOWS_A_BOX() SIMULATION_ONLY("the test expects a message box, which would wait for a user")

class AutomationTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        PlatformCode = PLATFORM_NT5;
#ifdef KESTREL_SIM
        ResetMessageBoxRecord();
#endif
        if (!WindowsCanBeCreated()) GTEST_SKIP() << "Wine: no X display, windows cannot be created";
        dialog = CreateTestMainDialog();
        ASSERT_NE(nullptr, dialog);
    }
    void TearDown() override {
        if (dialog) DestroyTestMainDialog(dialog);
        PlatformTest::TearDown();
    }
    // The boxes shown so far, each as "Warning: text" (caption, then the text).
    std::vector<std::string> Boxes() const {
        std::vector<std::string> shown;
#ifdef KESTREL_SIM
        for (auto &b : RecordedMessageBoxes()) shown.push_back(b.caption + ": " + b.text);
#endif
        return shown;
    }
    void ForgetBoxes() const {
#ifdef KESTREL_SIM
        ResetMessageBoxRecord();
#endif
    }
    std::string Text(int id) const { return ControlText(dialog, id); }
    void Set(int id, const std::string &text) const { SetControlText(dialog, id, text); }
    HWND dialog = nullptr;
};

inline std::vector<std::string> OneBox(const std::string &captionAndText) { return {captionAndText}; }
inline std::vector<std::string> NoBox() { return {}; }
