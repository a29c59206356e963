#include "toolbar_art.h"

#include <wx/dcmemory.h>
#include <wx/wx.h>

#include "command_ids.h"

namespace toolart {

const std::vector<Tool>& Tools() {
    static const std::vector<Tool> tools = {
        {57600, "새창"}, {57601, "파일 열기"}, {57603, "저장"}, {0, nullptr},
        {4870, "실행취소"}, {4871, "실행반복"}, {0, nullptr},
        {57635, "자르기"}, {57634, "복사"}, {57637, "붙이기"}, {0, nullptr},
        {1420, "확대"}, {1421, "축소"}, {1422, "(1:1)보기"}, {0, nullptr},
        {1570, "이동"}, {1342, "사각 선택"}, {1343, "자유선택"}, {1344, "자동선택"}, {1346, "스프레이"},
        {1355, "지우개"}, {1356, "선그리기"}, {1380, "원그리기"}, {0, nullptr},
        {1384, "전경색"}, {1385, "배경색"}, {1386, "색 바꾸기"}, {0, nullptr},
        {1407, "BITMAP 자원"}, {1416, "JPEG 자원"}, {1417, "GIF 자원"}, {1425, "TIF 자원"}, {0, nullptr},
        {2065, "영역 캡쳐 및 인쇄"},
        {1505, "이미지 필터링"},
    };
    return tools;
}

namespace {
void Label(wxDC& dc, const wxString& text, const wxColour& c) {
    dc.SetTextForeground(c);
    dc.SetFont(wxFont(wxFontInfo(7).Bold()));
    wxSize s = dc.GetTextExtent(text);
    dc.DrawText(text, (22 - s.x) / 2, (22 - s.y) / 2);
}
}  // namespace

wxBitmap Draw(int id) {
    wxBitmap bmp(22, 22, 24);
    wxMemoryDC dc(bmp);
    dc.SetBackground(wxBrush(wxColour(240, 240, 240)));
    dc.Clear();
    wxPen dark(wxColour(40, 40, 60), 2);
    dc.SetPen(dark);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    switch (id) {
        case 1505: {   // the filter panel: a picture behind a lens
            dc.SetBrush(wxBrush(wxColour(120, 180, 230)));
            dc.DrawRectangle(3, 4, 12, 10);
            dc.SetBrush(wxBrush(wxColour(250, 220, 90)));
            dc.DrawCircle(14, 13, 5);
            dc.DrawLine(17, 17, 20, 20);
            break;
        }
        case 57600:   // a sheet with a folded corner
            dc.SetBrush(*wxWHITE_BRUSH);
            dc.DrawRectangle(5, 3, 12, 16);
            dc.DrawLine(13, 3, 17, 7);
            break;
        case 57601:   // a folder
            dc.SetBrush(wxBrush(wxColour(230, 190, 80)));
            dc.DrawRectangle(3, 7, 16, 11);
            dc.DrawRectangle(3, 5, 7, 3);
            break;
        case 57603:   // a disk
            dc.SetBrush(wxBrush(wxColour(70, 110, 190)));
            dc.DrawRectangle(3, 3, 16, 16);
            dc.SetBrush(*wxWHITE_BRUSH);
            dc.DrawRectangle(7, 4, 8, 5);
            break;
        case 4870: {   // curved arrow left
            dc.DrawArc(16, 14, 6, 14, 11, 14);
            wxPoint tri[3] = {{3, 14}, {9, 10}, {9, 18}};
            dc.SetBrush(wxBrush(wxColour(40, 40, 60)));
            dc.DrawPolygon(3, tri);
            break;
        }
        case 4871: {
            dc.DrawArc(16, 14, 6, 14, 11, 14);
            wxPoint tri[3] = {{19, 14}, {13, 10}, {13, 18}};
            dc.SetBrush(wxBrush(wxColour(40, 40, 60)));
            dc.DrawPolygon(3, tri);
            break;
        }
        case 57635:   // scissors
            dc.DrawCircle(7, 16, 3);
            dc.DrawCircle(15, 16, 3);
            dc.DrawLine(8, 13, 15, 3);
            dc.DrawLine(14, 13, 7, 3);
            break;
        case 57634:
            dc.SetBrush(*wxWHITE_BRUSH);
            dc.DrawRectangle(3, 3, 10, 12);
            dc.DrawRectangle(8, 8, 10, 12);
            break;
        case 57637:
            dc.SetBrush(wxBrush(wxColour(200, 160, 100)));
            dc.DrawRectangle(4, 4, 14, 16);
            dc.SetBrush(*wxWHITE_BRUSH);
            dc.DrawRectangle(8, 9, 9, 10);
            break;
        case 1420: case 1421: {   // magnifier with + or -
            dc.DrawCircle(9, 9, 6);
            dc.DrawLine(13, 13, 19, 19);
            dc.SetPen(wxPen(wxColour(40, 40, 60), 1));
            dc.DrawLine(6, 9, 13, 9);
            if (id == 1420) dc.DrawLine(9, 6, 9, 13);
            break;
        }
        case 1422: Label(dc, "1:1", wxColour(40, 40, 60)); break;
        case 1570: {   // four arrows
            dc.DrawLine(11, 3, 11, 19);
            dc.DrawLine(3, 11, 19, 11);
            break;
        }
        case 1342:
            dc.SetPen(wxPen(wxColour(40, 40, 60), 1, wxPENSTYLE_SHORT_DASH));
            dc.DrawRectangle(4, 5, 14, 12);
            break;
        case 1343:
            dc.SetPen(wxPen(wxColour(40, 40, 60), 1, wxPENSTYLE_SHORT_DASH));
            dc.DrawEllipse(3, 5, 16, 11);
            break;
        case 1344:   // wand
            dc.DrawLine(4, 18, 14, 8);
            dc.SetPen(wxPen(wxColour(220, 170, 0), 2));
            dc.DrawLine(16, 3, 16, 9);
            dc.DrawLine(13, 6, 19, 6);
            break;
        case 1346:
            for (int i = 0; i < 14; ++i) dc.DrawPoint(5 + (i * 7) % 12, 5 + (i * 5) % 12);
            break;
        case 1355:
            dc.SetBrush(wxBrush(wxColour(240, 150, 160)));
            dc.DrawRectangle(5, 8, 12, 7);
            break;
        case 1356: dc.DrawLine(4, 18, 18, 4); break;
        case 1380: dc.DrawCircle(11, 11, 7); break;
        case 1384: case 1385: {
            dc.SetPen(*wxBLACK_PEN);
            dc.SetBrush(wxBrush(id == 1384 ? *wxBLACK : *wxWHITE));
            dc.DrawRectangle(4, 4, 14, 14);
            break;
        }
        case 1386:
            dc.SetPen(*wxBLACK_PEN);
            dc.SetBrush(*wxWHITE_BRUSH);
            dc.DrawRectangle(8, 8, 11, 11);
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawRectangle(3, 3, 11, 11);
            break;
        case 1407: Label(dc, "BMP", wxColour(20, 90, 160)); break;
        case 1416: Label(dc, "JPG", wxColour(160, 60, 20)); break;
        case 1417: Label(dc, "GIF", wxColour(20, 130, 60)); break;
        case 1425: Label(dc, "TIF", wxColour(120, 40, 140)); break;
        case 2065:   // a hollow frame with its band
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawRectangle(3, 6, 16, 13);
            dc.SetBrush(wxBrush(wxColour(40, 110, 60)));
            dc.DrawRectangle(3, 3, 16, 5);
            break;
        default: break;
    }
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

}  // namespace toolart
