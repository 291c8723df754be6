using System;
using System.Collections.Generic;
using System.IO;
using System.Threading;

namespace tool.Tests.Fuzz
{
    /// <summary>What one run of the tool did.</summary>
    public sealed class ToolOutcome
    {
        public string Output = "";
        /// <summary>An exception that left the operation that was run, or null.</summary>
        public Exception Escaped;
        public bool TimedOut;
        /// <summary>Bytes the run allocated on its thread.</summary>
        public long Allocated;
        public double Milliseconds;
    }

    /// <summary>
    /// Runs one operation of the tool on a thread of its own, with the console
    /// captured, a stack no larger than a Windows main thread's, a time bound
    /// and a count of the bytes it allocates.
    /// </summary>
    public static class ToolCase
    {
        /// <summary>A run that takes longer than this is taken to hang.</summary>
        public const int TimeoutMilliseconds = 10000;

        private const int StackBytes = 1024 * 1024;

        public static ToolOutcome Run(Action operation)
        {
            var outcome = new ToolOutcome();
            var console = new StringWriter();
            ConsoleOut.Redirect(console);
            Terminal.Use(new PlainTerminal());
            var clock = System.Diagnostics.Stopwatch.StartNew();
            var thread = new Thread(delegate()
            {
                long before = GC.GetAllocatedBytesForCurrentThread();
                try
                {
                    operation();
                }
                catch (ThreadAbortException)
                {
                    Thread.ResetAbort();
                }
                catch (Exception e)
                {
                    outcome.Escaped = e;
                }
                outcome.Allocated = GC.GetAllocatedBytesForCurrentThread() - before;
            }, StackBytes);
            try
            {
                thread.Start();
                if (!thread.Join(TimeoutMilliseconds))
                {
                    outcome.TimedOut = true;
                    thread.Abort();
                    thread.Join(2000);
                }
            }
            finally
            {
                ConsoleOut.Redirect(null);
                Terminal.Use(null);
            }
            outcome.Milliseconds = clock.Elapsed.TotalMilliseconds;
            outcome.Output = console.ToString();
            return outcome;
        }

        /// <summary>Main with one argument.</summary>
        public static ToolOutcome Main(string path)
        {
            return Run(delegate() { Scrivel.Main(new[] { path }); });
        }

        /// <summary>Extraction called directly, so that no exception is hidden by Main's last resort.</summary>
        public static ToolOutcome Extract(string path)
        {
            return Run(delegate() { Scrivel.extractAll(FileDescription.Describe(path)); });
        }

        /// <summary>Import called directly, so that no exception is hidden by Main's last resort.</summary>
        public static ToolOutcome Import(string path)
        {
            return Run(delegate() { Scrivel.importAll(FileDescription.Describe(path)); });
        }
    }

    /// <summary>The files of a folder, by name, with their bytes.</summary>
    public sealed class FolderSnapshot
    {
        public readonly Dictionary<string, byte[]> Files = new Dictionary<string, byte[]>();

        public static FolderSnapshot Take(string folder)
        {
            var s = new FolderSnapshot();
            foreach (string path in Directory.GetFileSystemEntries(folder))
            {
                string name = Path.GetFileName(path);
                s.Files[name] = Directory.Exists(path) ? null : File.ReadAllBytes(path);
            }
            return s;
        }

        /// <summary>Names whose presence or bytes differ between the two snapshots.</summary>
        public List<string> ChangedSince(FolderSnapshot earlier)
        {
            var changed = new List<string>();
            foreach (var pair in Files)
            {
                byte[] old;
                if (!earlier.Files.TryGetValue(pair.Key, out old) || !SameBytes(old, pair.Value))
                    changed.Add(pair.Key);
            }
            foreach (string name in earlier.Files.Keys)
            {
                if (!Files.ContainsKey(name)) changed.Add(name);
            }
            changed.Sort(StringComparer.Ordinal);
            return changed;
        }

        private static bool SameBytes(byte[] a, byte[] b)
        {
            if (a == null || b == null) return a == b;
            if (a.Length != b.Length) return false;
            for (int i = 0; i < a.Length; i++)
                if (a[i] != b[i]) return false;
            return true;
        }
    }
}
