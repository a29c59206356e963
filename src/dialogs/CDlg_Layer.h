// The layers panel "      레이어창": a thin window over
// layerpanel::LayersPanelModel (models/layers_panel_model.h). It draws the
// rows, the header and its buttons itself, holds the blend combo, the
// "투명" slider with its number box and the history list, and hands every
// press to the model. It follows the active document given by Follow()
// and repaints when the model says the document changed (once the events
// being handled are done).
#pragma once

#include <wx/wx.h>

#include <functional>

#include "layers_panel_model.h"

class wxVListBox;
class CVexoDoc;

class CDlg_Layer : public wxPanel {
public:
    explicit CDlg_Layer(wxWindow* parent);
    ~CDlg_Layer() override;

    // The document of the active window (null: none).
    void Follow(CVexoDoc* doc);
    layerpanel::LayersPanelModel& Model() { return model_; }
    bool HistoryPage() const { return history_; }
    void ShowHistoryPage(bool history);

    // What the editor supplies: sending a command to the active document's
    // window (menus' route), whether a command is enabled, the pane's
    // height ("늘여 보기") and caption, the title naming the current layer,
    // and the drag of a layer out of the panel.
    std::function<void(int command)> command;
    std::function<bool(int command)> enabled;
    std::function<void(int height)> setHeight;
    std::function<void(const wxString& caption)> setCaption;
    std::function<void(CVexoDoc& doc)> layerPressed;
    std::function<void()> dragOut;
    std::function<void(wxWindow* on, const wxPoint& at)> contextMenu;
    // The balloon editor strip, for the edit button of a balloon layer.
    std::function<void()> balloonEditor;
    // A drag of the top strip: the panel's window to this screen point;
    // false when the drag ends there (a docked panel is floated at it).
    std::function<bool(const wxPoint& topLeft)> moveTo;

private:
    void Rebuild(bool all);
    void Layout2();
    void OnPaint(wxPaintEvent& e);
    void OnSize(wxSizeEvent& e);
    void OnLeftDown(wxMouseEvent& e);
    void OnLeftUp(wxMouseEvent& e);
    void OnMotion(wxMouseEvent& e);
    void OnDoubleClick(wxMouseEvent& e);
    void OnKey(wxKeyEvent& e);
    void OnScroll(wxScrollEvent& e);
    void OnWheel(wxMouseEvent& e);
    void PressButton(const layerpanel::PanelButton& b);
    void OpenEditor();
    void DrawRow(wxDC& dc, int row);
    void SyncScrollBar();

    layerpanel::LayersPanelModel model_;
    bool history_ = false;
    bool tall_ = false;
    bool refreshQueued_ = false;
    const layerpanel::PanelButton* pressedButton_ = nullptr;
    const layerpanel::PanelButton* hovered_ = nullptr;   // its name is the tool tip
    int pressedRow_ = -1;
    layerpanel::Part pressedPart_ = layerpanel::Part::None;
    bool draggedOut_ = false;
    bool captionDrag_ = false, captionMoved_ = false;
    wxPoint pressScreen_, grabOffset_;
    wxChoice* blend_ = nullptr;
    wxSlider* opacity_ = nullptr;
    wxTextCtrl* opacityBox_ = nullptr;
    wxStaticText* opacityLabel_ = nullptr;
    wxScrollBar* scroll_ = nullptr;
    wxVListBox* list_ = nullptr;
};
