// The paint panels' models: the brush settings panel's edit box, slider,
// presets and modes, the gradient panel's buttons and close, the option bar.
#ifdef PIMLORA_HAVE_PANEL_MODELS
#include <gtest/gtest.h>

#include "paint_panels_model.h"
#include "tool_box.h"

TEST(PaintPanels, BrushSettings) {
    tools::ToolBox box;
    int notices = 0;
    box.Settings().Listen([&] { ++notices; });
    paintpanels::BrushModel m(box.Settings());
    m.PresetPressed(3);   // "7"
    EXPECT_EQ(box.Settings().brushSize, 7);
    EXPECT_EQ(m.EditText(), "7");
    EXPECT_EQ(m.PressedPreset(), 3);
    EXPECT_EQ(m.Slider(), 7);
    m.SliderMoved(22);
    EXPECT_EQ(box.Settings().brushSize, 22);
    EXPECT_EQ(m.PressedPreset(), -1);
    m.EditChanged("40");   // kept within 1-30
    EXPECT_EQ(box.Settings().brushSize, 30);
    m.EditChanged("1x");   // not a number: unchanged
    EXPECT_EQ(box.Settings().brushSize, 30);
    m.EditChanged("");
    EXPECT_EQ(box.Settings().brushSize, 30);
    m.ModeChosen(0);
    EXPECT_EQ(box.Settings().brushMode, 0);
    EXPECT_FALSE(m.SizeShowsBrush());
    EXPECT_EQ(m.SizeText(), "30");
    m.PresetPressed(0);
    EXPECT_EQ(box.Settings().brushMode, 0);   // the mode stays with the preset
    EXPECT_GE(notices, 6);
    // Changed elsewhere (pimlora-cli's brush:, the configuration): shown again.
    box.Settings().SetBrush(9, 1);
    m.Load();
    EXPECT_EQ(m.EditText(), "9");
    EXPECT_EQ(m.Mode(), 1);
    EXPECT_EQ(m.PressedPreset(), -1);
}

TEST(PaintPanels, GradientAndOptionBar) {
    tools::ToolBox box;
    ASSERT_TRUE(box.Switch(1353));
    paintpanels::GradientModel g(box);
    EXPECT_EQ(g.ColourMode(), 2);   // "전경+배경" at start-up
    EXPECT_EQ(g.Profile(), 1);      // "선형변화"
    g.ProfileChosen(2);
    g.ColourModeChosen(1);
    EXPECT_EQ(box.Settings().gradientProfile, 2);
    EXPECT_EQ(box.Settings().gradientMode, 1);
    g.Close();
    EXPECT_EQ(box.Current(), -1);

    ASSERT_TRUE(box.Switch(1344));
    auto bar = paintpanels::OptionBar(box);
    ASSERT_EQ(bar.size(), 2u);
    EXPECT_EQ(bar[0].value, 70);
    paintpanels::SetOption(box, tools::OptionField::WandTolerance, 5000);
    EXPECT_EQ(box.Settings().wandTolerance, 765);
    paintpanels::SetOption(box, tools::OptionField::Feather, -3);
    EXPECT_EQ(box.Settings().feather, 0);
    ASSERT_TRUE(box.Switch(1347));
    EXPECT_TRUE(paintpanels::OptionBar(box).empty());
}
#endif
