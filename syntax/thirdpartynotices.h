#pragma once

// The licence notices of the third-party code compiled into the program;
// empty when it was built without any.
extern const char *const thirdPartyNotices;
