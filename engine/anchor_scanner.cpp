#include "engine/anchor_scanner.h"

#include <cstring>

#include "engine/harvest_engine.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "resources/texts.h"

void AnchorScanner::Feed(const char* data, size_t size, std::string& out) {
  const char* p = data;
  const char* const end = data + size;
  int state = m_state;
  while (p < end) {
    switch (state) {
      case kOutside: {
        // Most of a page is text between tags: skip to the next "<".
        const void* lt = std::memchr(p, '<', static_cast<size_t>(end - p));
        if (!lt) {
          p = end;
          break;
        }
        p = static_cast<const char*>(lt) + 1;
        state = kTagOpen;
        break;
      }
      case kTagOpen:
        state = (*p == 'a' || *p == 'A') ? kAnchorName : kOutside;
        ++p;
        break;
      case kAnchorName:
        state = (*p == ' ' || *p == '\n') ? kInAnchor : kOutside;
        ++p;
        break;
      case kInAnchor:
        while (p < end && *p != 'f' && *p != 'F') ++p;
        if (p < end) {
          state = kAfterF;
          ++p;
        }
        break;
      case kAfterF:
        // Any other byte, f included, goes back without being looked at again.
        state = *p == '=' ? kValueStart : kInAnchor;
        ++p;
        break;
      case kValueStart:
        if (*p == '"') {
          state = kQuoted;
        } else {
          out.push_back(*p);
          state = kUnquoted;
        }
        ++p;
        break;
      case kQuoted: {
        const void* q = std::memchr(p, '"', static_cast<size_t>(end - p));
        const char* stop = q ? static_cast<const char*>(q) : end;
        out.append(p, stop);
        p = stop;
        if (q) {
          out.push_back('\n');
          state = kOutside;
          ++p;
        }
        break;
      }
      case kUnquoted: {
        const char* stop = p;
        while (stop < end && *stop != ' ' && *stop != '>') ++stop;
        out.append(p, stop);
        p = stop;
        if (p < end) {
          out.push_back('\n');
          state = kOutside;
          ++p;
        }
        break;
      }
      default:
        // Not a state of the table: start over as at the beginning.
        state = kOutside;
        break;
    }
  }
  m_state = state;
}

std::optional<std::string> LinkListPath() {
  std::optional<std::string> folder = platform::TempFolder();
  if (!folder) return std::nullopt;
  return *folder + texts::kLinkScratchName;
}

FileFailure ScanPageToLinkList(const std::string& pagePath, const std::string& linkPath) {
  platform::TextReader page;
  if (!page.Open(pagePath)) return {FileFailure::kCannotRead, pagePath};
  platform::TextWriter links;
  if (!links.Open(linkPath, platform::TextWriter::Mode::kCreate, true))
    return {FileFailure::kCannotCreate, linkPath};

  AnchorScanner scanner;
  static constexpr size_t kBlock = 64 * 1024;
  std::string block(kBlock, '\0');
  std::string found;
  found.reserve(kBlock + 1);
  for (size_t n; (n = page.Read(block.data(), kBlock)) > 0;) {
    found.clear();
    scanner.Feed(block.data(), n, found);
    if (!found.empty() && !links.Write(found)) break;
  }
  page.Close();
  bool written = links.Close();
  if (page.Failed()) {
    platform::RemoveFile(linkPath);
    return {FileFailure::kCannotRead, pagePath};
  }
  if (!written) {
    platform::RemoveFile(linkPath);
    return {FileFailure::kCannotCreate, linkPath};
  }
  return {};
}

FileFailure CHarvestEngine::ScanAnchorLinks(const std::string& pagePath) {
  std::optional<std::string> linkPath = LinkListPath();
  if (!linkPath) return {FileFailure::kCannotCreate, texts::kLinkScratchName};
  if (FileFailure failure = ScanPageToLinkList(pagePath, *linkPath)) return failure;
  return WriteLinkList(*linkPath);
}
