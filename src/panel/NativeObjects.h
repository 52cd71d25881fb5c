// The native objects through which the page posts request texts. Host thread only, except the
// native functions' hand-over of a text posted from another thread to the Mailbox.
#pragma once

class Palette;

// Registers "TamselAC" (function "post") and "ACAPI" (function "TamselSend"); each hands the
// text it is given to the request routing, on the host thread.
void RegisterHost(Palette& palette);
// Unregisters both objects by name.
void UnregisterHost(Palette& palette);
