// A new document from a picture the program took itself (a scanned page, a
// screen capture): the picture becomes the document image and its single
// background layer, as a picture file does when it is opened, and the
// document takes its name.
#pragma once

#include <memory>
#include <string>

class CVexoDoc;
class DocHost;
class VaZavi;

namespace acquire {

// Null when the picture is missing or narrower or lower than one pixel.
std::unique_ptr<CVexoDoc> DocumentFromPicture(DocHost* host, std::unique_ptr<VaZavi> picture,
                                              const std::string& name);

// "스캔영상_%d" and "Captured Image %d" with a number of the new-document
// counter.
std::string ScanDocumentName(int number);
std::string CaptureDocumentName(int number);

}  // namespace acquire
