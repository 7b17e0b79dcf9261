#include <imgui.h>

#include <algorithm>
#include <stdexcept>

#include "app/frame_loop.h"
#include "ui/gui_frame.h"
#include "standin_fixture.h"

class FrameLoopTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    TermsPending.store(false);
    InitGuiLibrary();
  }
  void TearDown() override {
    ShutdownGuiLibrary();
    StandinTest::TearDown();
  }
};

TEST_F(FrameLoopTest, IdleFramesSkipVerticalBlankAndSleep120ms) {
  standin::SetQuitAfterTurns(3);
  FrameLoop();
  EXPECT_EQ(standin::Presents(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{120, 120, 120}));
  EXPECT_TRUE(UiVisible.load());
}

TEST_F(FrameLoopTest, BusyWhileScanning) {
  standin::SetQuitAfterTurns(2);
  ScanActive.store(true);
  FrameLoop();
  EXPECT_EQ(standin::Presents(), std::vector<bool>(2, true));
  EXPECT_EQ(standin::Sleeps(), std::vector<uint64_t>(2, 50));
}

TEST_F(FrameLoopTest, BusyUntilTheOverlayHasFadedTo005) {
  // The dashboard fades the overlay out by a tenth per frame; the loop paces by the
  // fade each frame leaves behind.
  OverlayShown.store(false);
  OverlayFade.store(0.3f);
  std::vector<bool> expected;
  for (float fade = 0.3f; expected.size() < 25;) {
    fade += (0.0f - fade) * 0.1f;
    expected.push_back(fade > 0.05f);
  }
  standin::SetQuitAfterTurns(25);
  FrameLoop();
  EXPECT_EQ(standin::Presents(), expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), true), 17);
}

TEST_F(FrameLoopTest, HiddenWindowDrawsNothingAndWakesOncePerSecond) {
  standin::SetQuitAfterTurns(4);
  standin::SetShownOnTurn([](int turn) { return turn == 0; });
  FrameLoop();
  EXPECT_EQ(standin::Presents().size(), 1u);
  int waits = 0;
  for (const auto& entry : standin::Journal()) waits += entry == "WaitForMessages 1000";
  EXPECT_EQ(waits, 3);
  EXPECT_FALSE(UiVisible.load());
}

TEST_F(FrameLoopTest, FaultInTheDashboardIsLoggedAndTheFrameCompletes) {
  DrawGuiFrame([] {
    ImGui::Begin("left open");
    ImGui::BeginChild("child");
    throw std::runtime_error("bad widget");
  });
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] gui-frame recovered: bad widget"});
  ASSERT_NE(ImGui::GetDrawData(), nullptr);
  EXPECT_TRUE(ImGui::GetDrawData()->Valid);

  // The next frame draws normally.
  DrawGuiFrame([] {
    ImGui::Begin("fine");
    ImGui::TextUnformatted("ok");
    ImGui::End();
  });
  EXPECT_EQ(ActivityLines().size(), 1u);
}

TEST_F(FrameLoopTest, TheBuiltInFontDrawsTheEmDash) {
  // The program's own lines use the em dash; the font must not fall back to "?".
  const ImFontGlyph* dash = ImGui::GetIO().Fonts->Fonts[0]->FindGlyphNoFallback(0x2014);
  ASSERT_NE(dash, nullptr);
  EXPECT_GT(dash->AdvanceX, 0.0f);
}
