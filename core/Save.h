// The one way the program writes a file: the results file, the chart, the
// scenario CSV and whatever comes later. A save either completes or leaves
// what was there; it never replaces a device, a pipe or a link.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kelvaro {

enum class SaveStatus {
    Ok,
    NameNotUtf8, // the name is no text: it could be neither shown nor chosen again
    LinkLoop,    // a symbolic link leads back to itself (or through too many links)
    LinkDangles, // a symbolic link leads to nothing
    OpenFailed,  // no file can be made or opened there (folder, missing folder, rights)
    WriteFailed, // writing, syncing or the final rename failed
};

// Takes the file's bytes in order; false once they could not be written.
using SaveSink = std::function<bool(std::string_view bytes)>;
// Hands the whole file to the sink, piece by piece; false to stop (the sink
// failed). May throw: the save is then undone and the exception passed on.
using SaveProducer = std::function<bool(const SaveSink& sink)>;

// Saves under `path` (bytes as the file system takes them), by what the name
// is once its symbolic links are followed:
// - a regular file or nothing: the bytes go to a new file in the same folder,
//   which is synced to disk and then renamed over the name. A failure leaves
//   the old file byte for byte and no new file; of two saves at once one
//   complete file wins. A replaced file keeps its mode bits (setuid and
//   setgid dropped, as a write drops them) and, where allowed, its owner;
// - a character device, a FIFO or a socket: written in place, never removed
//   or replaced (a FIFO waits for its reader);
// - a folder or a block device: OpenFailed.
// A link stays a link and its final target gets the bytes.
SaveStatus SaveFile(const std::string& path, const SaveProducer& produce);
SaveStatus SaveFile(const std::string& path, std::string_view bytes);

// Whether the name alone rules the save out (Ok when it does not): empty
// (OpenFailed) or not UTF-8 (NameNotUtf8). Lets a long job refuse early.
SaveStatus CheckSaveName(const std::string& path);

// Why a save failed, naming the file, as kelvaro prints it (UTF-8, starting
// in lower case, bytes that are not UTF-8 shown as \xNN): for example
// tiedostoon "x.txt" kirjoittaminen epäonnistui. The window's box shows it
// as a sentence (SentenceOf in Dialogs.h).
std::string SaveFailureText(SaveStatus status, const std::string& path);

} // namespace kelvaro
