#pragma once
// What the program says of itself in more than one window.

// The software's revision label: the About box, and the identity of a web request without a
// programmer.
inline constexpr const char* kProgramRevision = "Re. 7.41";
// The maker's support address: the About box, and the note after a new language file.
inline constexpr const char* kSupportAddress = "support@ostrand.example";
