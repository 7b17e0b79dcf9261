#include <imgui.h>

#include <stdexcept>

#include "app/frame_loop.h"
#include "ui/gui_frame.h"
#include "standin_fixture.h"

class FrameLoopTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
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

TEST_F(FrameLoopTest, BusyWhileScanningOrWhileTheOverlayFades) {
  const struct {
    bool scanning;
    float fade;
    bool busy;
  } cases[] = {{true, 0.0f, true}, {false, 0.3f, true}, {false, 0.06f, true}, {false, 0.05f, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.scanning << " " << c.fade);
    standin::Reset();
    standin::SetQuitAfterTurns(2);
    ScanActive.store(c.scanning);
    OverlayFade.store(c.fade);
    FrameLoop();
    EXPECT_EQ(standin::Presents(), std::vector<bool>(2, c.busy));
    EXPECT_EQ(standin::Sleeps(), std::vector<uint64_t>(2, c.busy ? 50 : 120));
  }
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

TEST_F(FrameLoopTest, ActivityWindowListsTheLog) {
  AppendActivity(L"[SYSTEM] one");
  AppendActivity(L"[GUI] two \u2014 \u00e9");
  standin::SetQuitAfterTurns(1);
  FrameLoop();
  const ImDrawData* draw = ImGui::GetDrawData();
  ASSERT_NE(draw, nullptr);
  EXPECT_GT(draw->TotalVtxCount, 0);
}
