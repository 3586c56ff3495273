#pragma once

namespace orvella {

class SpeechOutput;

// Reads the clipboard's text aloud (cleaned for speech, not filtered), or
// explains how to put text there. Always spoken, whatever the behaviour setting.
void ReadClipboard(SpeechOutput& speech);

} // namespace orvella
