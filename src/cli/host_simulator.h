// A stand-in for the word processor's side of the converter interface: it owns the
// transfer buffer and serves a document through the RTF callback in chunks.
#pragma once
