#pragma once
// A thread's claim on the processor, which each system sets its own way.

namespace platform {

// The calling thread yields to the process's other threads from now on; a
// thread cannot take this back, so only a thread that ends with its work
// may call it.
void LowerThisThreadsPriority();

}  // namespace platform
