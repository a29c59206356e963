// The modal parameter windows of the editor's commands. Each collects the
// values of its model, calls the document operation and returns whether
// something was done; the command's refusals (tool switch, text layers)
// are checked by the caller or the operation.
#pragma once

#include "text_layers.h"

class CVexoDoc;
class wxWindow;

namespace dlgmodel {
struct NewImageModel;
}

namespace dlgui {

bool RunImageSizeDialog(wxWindow* parent, CVexoDoc& doc);                 // 1431 "이미지 크기 지정"
bool RunCanvasSizeDialog(wxWindow* parent, CVexoDoc& doc);                // 1432 "캔버스 크기 조정"
bool RunLevelsDialog(wxWindow* parent, CVexoDoc& doc);                    // 2533 "픽셀분포조정"
bool RunCalendarDialog(wxWindow* parent, CVexoDoc& doc);                  // 3379 "달력넣기"
bool RunPhotoFrameDialog(wxWindow* parent, CVexoDoc& doc);                // 3392 "액자틀 선택"
bool RunPatternDialog(wxWindow* parent, CVexoDoc& doc);                   // 4816 "빗살무뉘넣기"
bool RunRenameDialog(wxWindow* parent, CVexoDoc& doc);                    // 3994 "레이어 이름 변경"
bool RunShadowDialog(wxWindow* parent, CVexoDoc& doc, bool edit);         // 1558 / 2068
bool RunNewImageDialog(wxWindow* parent, dlgmodel::NewImageModel& model);  // 57600
// The text dialog "글자 입력": starts from values; true on OK with text.
bool RunTextDialog(wxWindow* parent, textlayer::TextDialogValues& values, bool edit);

}  // namespace dlgui
