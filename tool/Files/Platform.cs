// The one test of which system the tool runs on.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Which system the tool runs on, asked once of the runtime: every
    /// choice between system calls is made through these.
    /// </summary>
    public static class Platform
    {
        private static readonly PlatformID Id = Environment.OSVersion.Platform;

        /// <summary>Windows, where the Win32 calls are at hand.</summary>
        public static readonly bool IsWindows = Id == PlatformID.Win32NT || Id == PlatformID.Win32Windows;

        /// <summary>A Unix system, where the C library's calls are at hand.</summary>
        public static readonly bool IsUnix = Id == PlatformID.Unix || Id == PlatformID.MacOSX;

        private static bool? linux;

        /// <summary>Linux, with its own ioctl numbers and memory advice; asked of the file system when first needed.</summary>
        public static bool IsLinux
        {
            get
            {
                if (linux == null)
                {
                    try { linux = Id == PlatformID.Unix && Directory.Exists("/proc/self"); }
                    catch (Exception) { linux = false; }
                }
                return linux.Value;
            }
        }
    }
}
