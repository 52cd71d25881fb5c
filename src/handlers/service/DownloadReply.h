// The reply to a binary download: the file stored under a new "res" reference, and the reply
// made on the worker with the file, or for a picture its JPEG preview, as a data URL twice.
// Worker threads.
#pragma once
#include <string>

#include "panel/Mailbox.h"

// A download stored, and what its reply shows of it.
struct StoredDownload {
    std::string ref;
    std::string type;     // of what is shown; empty: "application/octet-stream"
    std::string preview;  // empty when the file itself is shown
};

// False when the file cannot be stored.
bool StoreDownload(const std::string& bytes, StoredDownload* stored);

// Posts {"url":D,"dataUrl":D,"fileRef":R}, D the data URL of what is shown, its base64 written
// straight into the reply's script: the largest replies (videos of tens of megabytes) are never
// held as text twice.
void PostDownload(Mailbox& mailbox, const RequestTag& tag, const std::string& bytes, const StoredDownload& stored);
