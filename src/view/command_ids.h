// Command identifiers of the editor (shared by the view and the application). The numbers are the program's command
// identifiers; menus, the tool bar, accelerators and the document command
// table (commands::All()) all use them. wxWidgets reserves 4999-5999 for its
// own stock identifiers: the few commands in that range are moved out of it
// here, and only here (EventId / CommandFromEvent).
#pragma once

namespace cmd {

// Application and frame commands.
inline constexpr int New = 57600, Open = 57601, Save = 57603, SaveAs = 57604, PrinterSetup = 57606,
                     Print = 57607, PrintDirect = 57608, PrintPreview = 57609, Copy = 57634, Cut = 57635,
                     Paste = 57637, Cascade = 57650, Tile = 57651, About = 57664, Exit = 57665,
                     CloseSequence = 5008, ForeColour = 1384, BackColour = 1385, SwapColours = 1386,
                     ResBitmap = 1407, ResJpeg = 1416, ResGif = 1417, ResTif = 1425, Options = 1571,
                     Undo = 4870, Redo = 4871, CopyAll = 4604, ReleaseSelection = 2060, ZoomIn = 1420,
                     ZoomOut = 1421, ActualSize = 1422, Stretch = 1405, Grid = 1572, WebSite = 2074,
                     MainToolBar = 1559, LayersPanel = 1554;

// wx's reserved range for stock identifiers.
inline constexpr int kReservedLow = 4999, kReservedHigh = 5999;
// Commands of that range are moved by this offset.
inline constexpr int kReservedShift = 30000;

inline constexpr int EventId(int command) {
    return (command >= kReservedLow && command <= kReservedHigh) ? command + kReservedShift : command;
}
inline constexpr int CommandFromEvent(int eventId) {
    return (eventId >= kReservedLow + kReservedShift && eventId <= kReservedHigh + kReservedShift)
               ? eventId - kReservedShift
               : eventId;
}

}  // namespace cmd
