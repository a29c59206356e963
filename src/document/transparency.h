// Transparency and alpha settings of the document image (commands 1427,
// 1430, 1483, 1485, 1486, 1490).
//
// These settings live in the document image's information block and are
// document properties: the undo journal keeps and restores them, the layer
// operations take the transparent colour as the colour of pixels outside a
// picture, and the command line shows them. Saving writes the composite of
// the layers, whose formats keep their own transparency rules: the settings
// do not change what is written.
#pragma once

class CVexoDoc;

namespace doctransparency {

// Makes the colour of the document image at a picture point (origin
// top-left) its transparent colour; for palette pictures the point's palette
// index becomes the transparent index too. One undo step. False, with
// nothing changed, outside the picture or without one.
bool PickTransparentColour(CVexoDoc& doc, int x, int y);

}  // namespace doctransparency
