#pragma once
// Runs a program of the build as a user would from a shell, with its
// standard streams connected to files.
#include <string>
#include <vector>

namespace testing_support {

// Runs `program` with `args`, standard input read from `inputPath` and
// standard output and error written to `outputPath` and `errorPath`; waits
// for it to end. Its exit status, 128 plus the signal when a signal ended
// it, or -1 when it could not be started.
int RunChild(const std::string& program, const std::vector<std::string>& args,
             const std::string& inputPath, const std::string& outputPath,
             const std::string& errorPath);

}  // namespace testing_support
