#include "engine/link_output.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>

#include "engine/block_pipe.h"
#include "engine/browser_links.h"
#include "engine/harvest_engine.h"
#include "engine/known_lines.h"
#include "engine/link_filter.h"
#include "engine/link_resolution.h"
#include "platform/byte_reader.h"
#include "platform/file_system.h"
#include "platform/scratch_files.h"
#include "platform/text_file.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

std::string FlattenBaseAddress(std::string_view baseUrl) {
  std::string name(baseUrl);
  for (char& c : name)
    if (c == ':' || c == '/') c = '_';
  return name;
}

namespace {

// The output line of `link`, handed to `emit` piece by piece, so that a long
// link is never copied to be written.
// `asHtml`: "&" is written "&amp;" too, so that a browser reads the line back
// as exactly the address (browser reading's addresses are written so; the
// exact reading's as the page spelled them).
template <typename Emit>
void EmitOutputLine(bool gallery, std::string_view link, Emit&& emit, bool asHtml = false) {
  if (!gallery) {
    emit(link);
    emit("\n");
    return;
  }
  emit("<IMG SRC=\"");
  // A double quote would end the attribute value the link is put in.
  const char* const special = asHtml ? "\"&" : "\"";
  for (size_t at; (at = link.find_first_of(special)) != std::string_view::npos;) {
    emit(link.substr(0, at));
    emit(link[at] == '"' ? "&quot;" : "&amp;");
    link.remove_prefix(at + 1);
  }
  emit(link);
  emit("\"><BR>\n");
}

// Browsers drop CR and TAB from an address; kept, a CR would make the link
// look like two lines to whoever reads the output file.
void DropCrAndTab(std::string& line) {
  // Not find_first_of: it calls memchr once per byte of the line.
  const auto crOrTab = [](char c) { return c == '\r' || c == '\t'; };
  const auto first = std::find_if(line.begin(), line.end(), crOrTab);
  if (first == line.end()) return;
  line.erase(std::remove_if(first, line.end(), crOrTab), line.end());
}

// A kept line of the link list made ready to be written: its LF taken off
// and its CR and TAB bytes dropped (in `line`), then resolved. The view holds
// until the resolver's next call.
std::string_view ResolveKeptLine(std::string& line, ReferenceResolver& resolver) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  DropCrAndTab(line);
  return resolver.Resolve(line);
}

// The hash of the line `link` becomes, without its line end, as the lines
// of the file are hashed.
LineHash::Key OutputLineHash(bool gallery, std::string_view link) {
  LineHash hash;
  EmitOutputLine(gallery, link, [&hash](std::string_view piece) {
    if (!piece.empty() && piece.back() == '\n') piece.remove_suffix(1);
    hash.Add(piece);
  });
  return hash.Finish();
}

}  // namespace

std::string PrepareLinkLine(const std::string& line, std::string_view baseUrl, bool gallery) {
  ReferenceResolver resolver(baseUrl);
  std::string kept = line;
  std::string out;
  EmitOutputLine(gallery, ResolveKeptLine(kept, resolver),
                 [&out](std::string_view piece) { out.append(piece); });
  return out;
}

// A base address too long for one file name is not shortened: a shortened
// name could gather the links of different pages in one file. The open fails
// (the name is too long for the file system) and the run says so.
std::string CHarvestEngine::OutputFilePath() const {
  const bool gallery = m_nOutPutType == kOutputGallery;
  if (m_nFileSelect == kFixedOutputFile)
    return m_strSaveFolder + (gallery ? texts::kFixedGalleryName : texts::kFixedListName);
  return m_strSaveFolder + FlattenBaseAddress(m_strBaseUrl) + (gallery ? ".html" : ".txt");
}

bool CHarvestEngine::OpenOutput(platform::TextWriter& output, const std::string& path) {
  // The file in the save folder must be a regular file of the user's own.
  return output.Open(path, platform::TextWriter::Mode::kAppendOwnFile);
}

// Other runs (the window, a script, the workers of one call) may append to
// the same file: each waits for the others' whole append, and measures the
// length it would cut back to only once it holds the file.
bool CHarvestEngine::LockOutput(platform::TextWriter& output) {
  const auto since = std::chrono::steady_clock::now();
  bool shown = false;
  return output.LockAppend([&] {
    // A wait of a moment is not worth a word.
    if (!shown && std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(300)) {
      SetStatusText(texts::kStatusWaitingForOutput);
      shown = true;
    }
    return !StopRequested();
  });
}

FileFailure CHarvestEngine::WriteLinkList(const std::string& linkListPath) {
  const std::string outputPath = OutputFilePath();
  FileFailure failure;
  {
    platform::TextReader links;
    platform::TextWriter output;
    KnownLines known;
    // Browser reading's addresses, where they could be resolved as the page
    // was scanned, need only be written.
    const bool resolvedAhead = m_settings.m_bBrowser == 1 && !m_resolvedLinkList.empty();
    const std::string& listPath = resolvedAhead ? m_resolvedLinkList : linkListPath;
    if (!links.Open(listPath)) {
      failure = {FileFailure::kCannotRead, listPath};
    } else if (!OpenOutput(output, outputPath)) {
      failure = {FileFailure::kCannotWrite, outputPath};
    } else if (!LockOutput(output)) {
      failure = {FileFailure::kStopped, outputPath};
    } else if (m_bNewOnly && !known.ReadFile(output.Descriptor(), output.LengthAtOpen())) {
      // Read under the lock, so that lines another run appended count.
      failure = {FileFailure::kCannotRead, outputPath};
    } else {
      // Ctrl-C or a kill in the middle of the append leaves the file as it was.
      const platform::CutBackOnSignals undoOnSignals(output.Descriptor(), output.LengthAtOpen());
      // One filter, resolver and line buffer serve the whole list: the
      // settings and the base address stay as they are for its length.
      LinkFilter filter(m_settings);
      ReferenceResolver resolver(m_strBaseUrl);
      // Browser reading's list holds the addresses as the page gave them,
      // to be resolved now that the document's base is known.
      const bool asHtml = m_settings.m_bBrowser == 1;
      std::optional<BrowserLinks> browser;
      if (asHtml && !resolvedAhead)
        browser.emplace(m_settings, m_documentUrl, m_baseHref, m_documentEncoding);
      // A line that an interrupted run or another program left without its
      // end would swallow the first new one.
      bool lineOpen = output.EndsMidLine();
      // Lines are gathered and handed to the output a block at a time,
      // which spares a text-mode write call for every piece of every line,
      // and written on a thread of their own while the next are resolved. A
      // long link goes through in pieces, never copied whole.
      BlockPipe pipe([&output](const char* data, size_t size) { return output.Write(data, size); });
      const bool gallery = m_nOutPutType == kOutputGallery;
      // Each line of the resolved list is a line of the list as the file
      // stores it: the list goes through a block at a time, on this thread
      // (handing it to the pipe's would only copy it once more), and as it
      // lies (the program's own file, mapped where it can be).
      const bool asBlocks = resolvedAhead && !gallery && !m_bNewOnly && !output.EscapesControls();
      bool listFailed = false;
      if (asBlocks) {
        platform::ByteReader list;
        listFailed = !list.Open(listPath, true);
        for (std::string_view block;
             !listFailed && !output.Failed() && !(block = list.Next()).empty();) {
          if (lineOpen) output.Write("\n", 1);
          lineOpen = false;
          output.WriteStored(block.data(), block.size());
        }
        listFailed = listFailed || list.Failed();
      }
      for (std::string line; !asBlocks && links.ReadLine(line);) {
        std::string_view link;
        if (resolvedAhead) {
          if (!line.empty() && line.back() == '\n') line.pop_back();
          link = line;
        } else if (browser) {
          const auto record = ParseBrowserRecord(line);
          const std::string* href = record ? browser->Take(*record) : nullptr;
          if (!href) continue;
          link = *href;
        } else {
          if (!filter.Passes(line)) continue;
          link = ResolveKeptLine(line, resolver);
        }
        if (m_bNewOnly && !known.Insert(OutputLineHash(gallery, link))) continue;
        if (lineOpen) pipe.Append("\n");
        lineOpen = false;
        EmitOutputLine(
            gallery, link, [&pipe](std::string_view piece) { pipe.Append(piece); }, asHtml);
        if (pipe.Failed()) break;
      }
      pipe.Finish();
      // A failed append is taken back whole: a half-written gallery line
      // would put the quoting of every later line out of step.
      bool cutBack = false;
      if (!output.CloseOrCutBack(cutBack))
        failure = {cutBack ? FileFailure::kWriteUndone : FileFailure::kCannotWrite, outputPath};
      else if (links.Failed() || listFailed)
        failure = {FileFailure::kCannotRead, listPath};
    }
  }
  platform::RemoveFile(linkListPath);
  if (!m_resolvedLinkList.empty()) platform::RemoveFile(m_resolvedLinkList);
  m_resolvedLinkList.clear();
  return failure;
}
