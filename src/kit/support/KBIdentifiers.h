#pragma once

// Every reverse-DNS name and fixed value of the kit in one place, so that the
// core, the crash kit and the analytics kit agree on folders, keys and labels.
namespace kb {

inline constexpr const char* kVendorPrefix = "org.lumetta.kit";

// The kit core: client id, User-Agent product, key in the kit versions and
// stem of the settings cache folder.
inline constexpr const char* kCoreIdentifier = "org.lumetta.kit.core";
inline constexpr const char* kCoreDisplayVersion = "1.6.11";
inline constexpr const char* kCoreBuildVersion = "60";
inline constexpr const char* kCoreDataFolder = "org.lumetta.kit.core.data";

// Key of the installation identifier in the kit defaults store (and in the
// platform defaults of older installations).
inline constexpr const char* kInstallationUUIDKey = "org.lumetta.kit.core.installation-uuid";

// The kit defaults store: vendor folder and queue labels.
inline constexpr const char* kDefaultsVendorFolder = "org.lumetta.kit";
inline constexpr const char* kDefaultsAccessQueueLabel = "org.lumetta.kit.CWUserDefaults.access";
inline constexpr const char* kDefaultsIoQueueLabel = "org.lumetta.kit.CWUserDefaults.io";

// Sent with every request of the kit.
inline constexpr const char* kDeveloperToken = "7c1f4a2e9b3d5f6a8c0e2b4d6f8a1c3e5b7d9f02";

// The crash kit: its identifier and its data folder under the caches folder,
// shared by the reports ("v3") and the analytics files ("analytics/v2").
inline constexpr const char* kCrashKitIdentifier = "org.lumetta.kit.crashwatch.linux";
inline constexpr const char* kCrashDataFolder = "org.lumetta.kit.crashwatch.data";
inline constexpr const char* kCrashQueueLoggingLabel = "org.lumetta.kit.crashwatch.logging";
inline constexpr const char* kCrashQueueBinaryImagesLabel = "org.lumetta.kit.crashwatch.binary-images";
inline constexpr const char* kCrashQueueExceptionLabel = "org.lumetta.kit.crashwatch.exception";

// The analytics kit's labels.
inline constexpr const char* kTallyRecordEventActivity = "org.lumetta.kit.tally.record-event";
inline constexpr const char* kTallyTimerActivityPrefix = "org.lumetta.kit.tally.";

// Queue, lock and session labels of the core.
inline constexpr const char* kURLSessionQueueLabel = "org.lumetta.kit.URLSession";
inline constexpr const char* kOperationLockPrefix = "org.lumetta.kit";

} // namespace kb
