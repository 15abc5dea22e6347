#pragma once
// The scan of a stored page into the link list: the page's anchor values,
// one a line, in a private scratch file that the run then filters, resolves
// and writes to the output.
#include <optional>
#include <string>

#include "engine/harvest_engine.h"

// A scratch file's name for a run with `tag` (CHarvestEngine::m_strScratchTag):
// the fixed name itself when the tag is empty, else the name with the tag
// before its ".tmp" ("vimbel-tag.tmp", "#vimbel-tag#.tmp").
std::string ScratchName(const std::string& fixedName, const std::string& tag);

// The link list's full path in the private temporary folder (nullopt when
// that folder cannot be had).
std::optional<std::string> LinkListPath(const std::string& tag = {});
// Beside it, browser reading's list of the addresses resolved while the page
// was scanned.
std::optional<std::string> ResolvedListPath(const std::string& tag = {});

// Scans the page file at `pagePath` (text mode) into a new private link list
// at `linkPath`. On failure the link list is removed and the failure
// returned. `mapPage`: whether the page may be mapped, as a scratch file of
// the program's own may; a page someone else may change is only read.
FileFailure ScanPageFile(const std::string& pagePath, const std::string& linkPath,
                         bool mapPage = true);

// Makes the run's link list, at LinkListPath(tag), from the page at
// `pagePath`; its path in `linkPath`.
FileFailure MakeLinkList(const std::string& pagePath, std::string& linkPath,
                         const std::string& tag = {});

// The whole scan step on a stored page: makes its link list and hands it to
// the engine's WriteLinkList, which deletes it. The page is left in place.
FileFailure ScanAnchorLinks(CHarvestEngine& engine, const std::string& pagePath);
