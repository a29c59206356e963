// Opening by extension, the post-open step, flat-format saving, and the
// colour-format commands (convert to RGB, reduce to 256 colours).
#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"

namespace commands {
void RegisterDocumentCommands(Table&) {}
}  // namespace commands
