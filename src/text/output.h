// The output layout, written once when the whole input has been reduced.
#pragma once

namespace tvconv {

class Conversion;
class Text;

// Writes the registered helper methods and "\n@main[]\n" (only when there
// are any), then the document, wrapped in a taint block when the optimize
// flag is clear. Releases the document and empties the registry.
void write_document(Conversion& cv, Text* document);

}  // namespace tvconv
