// Embedded equation objects in RTF: an object's data group, once read, is replaced by the
// converted equation or written back as it came.
#pragma once

#include <cstdint>
#include <string>

#include "rtf/document.h"

// Converts the object whose data was read and writes the replacement (or the data as it
// came), the data group's closing brace included. True when the object was replaced by
// an Office Math equation, whose picture group the caller then drops.
bool ReplaceObjectData(DocumentPass& pass, ObjectData& data);
