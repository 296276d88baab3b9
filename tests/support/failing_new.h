// Makes the next new (std::nothrow) of the calling thread give null: how a test denies
// a service an object it allocates. The test program links the operator new that obeys.
#pragma once

namespace hostlens::test {
void FailNextNothrowNew();
}  // namespace hostlens::test
