using System;
using System.IO;
using System.Runtime.InteropServices;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class SafeFileTests : FolderFixture
    {
        private static void WriteAllBytes(string path, byte[] bytes)
        {
            SafeFile.Write(path, stream => stream.Write(bytes, 0, bytes.Length));
        }

        private void AssertOnlyEntries(params string[] names)
        {
            var entries = Directory.GetFileSystemEntries(folder.Path);
            var found = new string[entries.Length];
            for (int i = 0; i < entries.Length; i++) found[i] = Path.GetFileName(entries[i]);
            CollectionAssert.AreEquivalent(names, found, "no temporary file may be left behind");
        }

        private static string Shell(string command)
        {
            var start = new System.Diagnostics.ProcessStartInfo("sh", "-c \"" + command + "\"");
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            using (var process = System.Diagnostics.Process.Start(start))
            {
                string output = process.StandardOutput.ReadToEnd().Trim();
                process.WaitForExit();
                return output;
            }
        }

        [TestCase("600")]
        [TestCase("644")]
        [TestCase("444")]
        [TestCase("755")]
        public void AReplacedFileKeepsItsPermissionBits(string mode)
        {
            string path = folder.File("Foo.txt");
            File.WriteAllBytes(path, new byte[] { 1 });
            Shell("chmod " + mode + " '" + path + "'");
            WriteAllBytes(path, new byte[] { 2 });
            CollectionAssert.AreEqual(new byte[] { 2 }, File.ReadAllBytes(path));
            Assert.AreEqual(mode, Shell("stat -c %a '" + path + "'"));
        }

        [Test]
        public void WritesNewFile()
        {
            string path = folder.File("Foo.txt");
            WriteAllBytes(path, new byte[] { 0xFF, 0xFE, 0x41, 0x00 });
            CollectionAssert.AreEqual(new byte[] { 0xFF, 0xFE, 0x41, 0x00 }, File.ReadAllBytes(path));
            AssertOnlyEntries("Foo.txt");
        }

        [Test]
        public void WritesEmptyFile()
        {
            string path = folder.File("Empty.bin");
            WriteAllBytes(path, new byte[0]);
            Assert.AreEqual(0, new FileInfo(path).Length);
        }

        [Test]
        public void ReplacesLongerExistingFileWhole()
        {
            string path = folder.File("Foo.upk.clxi");
            File.WriteAllBytes(path, new byte[1000]);
            WriteAllBytes(path, new byte[] { 1, 2, 3 });
            CollectionAssert.AreEqual(new byte[] { 1, 2, 3 }, File.ReadAllBytes(path));
            AssertOnlyEntries("Foo.upk.clxi");
        }

        [Test]
        public void ReplacementIsANewFileNotARewriteInPlace()
        {
            // A reader that opened the old file before the write keeps seeing
            // the old bytes: the target was swapped, not truncated and refilled.
            string path = folder.File("Foo.txt");
            File.WriteAllBytes(path, new byte[] { 7, 7, 7, 7 });
            using (var old = new FileStream(path, FileMode.Open, FileAccess.Read, FileShare.ReadWrite | FileShare.Delete))
            {
                WriteAllBytes(path, new byte[] { 9, 9 });
                var seen = new byte[8];
                int n = old.Read(seen, 0, seen.Length);
                Assert.AreEqual(4, n);
                Assert.AreEqual(7, seen[3]);
            }
            CollectionAssert.AreEqual(new byte[] { 9, 9 }, File.ReadAllBytes(path));
        }

        [Test]
        public void MissingFolderFailsWithIOExceptionAndWritesNothing()
        {
            string path = Path.Combine(folder.File("no-such-folder"), "Foo.txt");
            Assert.Throws(Is.InstanceOf<IOException>(), () => WriteAllBytes(path, new byte[] { 1 }));
            AssertOnlyEntries();
        }

        [Test]
        public void TargetThatIsAFolderIsLeftAloneAndTemporaryFileRemoved()
        {
            // The temporary file is written, then the rename over the folder
            // fails: the folder and its content must survive, the temporary go.
            string path = folder.File("Foo.upk.clxi");
            Directory.CreateDirectory(path);
            File.WriteAllBytes(Path.Combine(path, "inside"), new byte[] { 5 });
            try
            {
                WriteAllBytes(path, new byte[] { 1, 2 });
                Assert.Fail("writing over a folder must fail");
            }
            catch (IOException) { }
            catch (UnauthorizedAccessException) { }
            Assert.IsTrue(Directory.Exists(path));
            CollectionAssert.AreEqual(new byte[] { 5 }, File.ReadAllBytes(Path.Combine(path, "inside")));
            AssertOnlyEntries("Foo.upk.clxi");
        }

        [Test]
        public void WriteTakesItsContentFromTheCallerAndReplacesTheTarget()
        {
            string path = folder.File("Foo.upk.clxi");
            File.WriteAllBytes(path, new byte[500]);
            SafeFile.Write(path, stream =>
            {
                stream.Write(new byte[] { 1, 2, 3 }, 0, 3);
                stream.Write(new byte[] { 4 }, 0, 1);
            });
            CollectionAssert.AreEqual(new byte[] { 1, 2, 3, 4 }, File.ReadAllBytes(path));
            AssertOnlyEntries("Foo.upk.clxi");
        }

        [Test]
        public void LargeWritesGoOutWholeWhateverTheirPlaceAndOrder()
        {
            // Larger than two pieces of writeback, not a whole number of them,
            // written after a gap and followed by small writes and the start.
            var expected = new byte[(20 << 20) + 12];
            for (int i = 0; i < expected.Length; i++) expected[i] = (byte)(i * 7 + (i >> 16));
            string path = folder.File("Foo.upk.clxi");
            SafeFile.Write(path, stream =>
            {
                stream.Position = 5;
                stream.Write(expected, 5, expected.Length - 12);
                stream.Write(expected, expected.Length - 7, 3);
                stream.Write(expected, expected.Length - 4, 4);
                stream.Position = 0;
                stream.Write(expected, 0, 5);
            });
            CollectionAssert.AreEqual(expected, File.ReadAllBytes(path));
        }

        [Test]
        public void ContentThatFailsHalfWayLeavesTheTargetAndNoTemporaryFile()
        {
            string path = folder.File("Foo.upk.clxi");
            File.WriteAllBytes(path, new byte[] { 7, 7 });
            Assert.Throws<IOException>(() => SafeFile.Write(path, stream =>
            {
                stream.Write(new byte[64], 0, 64);
                throw new IOException("disk full");
            }));
            CollectionAssert.AreEqual(new byte[] { 7, 7 }, File.ReadAllBytes(path));
            AssertOnlyEntries("Foo.upk.clxi");
        }

        [Test]
        public void TemporaryFilesOfAnInterruptedWriteGoWithTheNextWriteOfThatFile()
        {
            // A process killed while writing leaves its temporary file; only
            // names exactly like those made for this target are removed.
            string path = folder.File("Foo.txt");
            string leftover = Path.GetFileName(SafeFile.TemporaryPathFor(path));
            string otherTarget = Path.GetFileName(SafeFile.TemporaryPathFor(folder.File("Foo.txt.txt")));
            string[] kept =
            {
                otherTarget,
                ".Foo.txt.0123456789ag.tmp",
                ".Foo.txt.0123456789ABC.tmp",
                ".Foo.txt.0123456789ab.tmp.bak",
                "Foo.txt.0123456789ab.tmp",
                ".Foo.txt.tmp",
            };
            File.WriteAllBytes(folder.File(leftover), new byte[] { 1 });
            File.WriteAllBytes(folder.File(".Foo.txt.0123456789ab.tmp"), new byte[] { 2 });
            foreach (string name in kept) File.WriteAllBytes(folder.File(name), new byte[] { 3 });

            WriteAllBytes(path, new byte[] { 9 });

            var expected = new System.Collections.Generic.List<string>(kept);
            expected.Add("Foo.txt");
            AssertOnlyEntries(expected.ToArray());
            CollectionAssert.AreEqual(new byte[] { 9 }, File.ReadAllBytes(path));
        }

        [DllImport("libc", EntryPoint = "flock", SetLastError = true)]
        private static extern int Flock(int fd, int operation);

        [Test]
        public void ATemporaryFileThatAnotherRunIsWritingStays()
        {
            // Two runs writing the same target: the one that starts later
            // removes what killed runs left, never the other's file (its
            // writer holds the file's lock).
            if (!Platform.IsUnix) Assert.Ignore("Windows refuses to delete a file open for writing");
            string path = folder.File("Foo.txt");
            string writing = Path.GetFileName(SafeFile.TemporaryPathFor(path));
            string left = Path.GetFileName(SafeFile.TemporaryPathFor(path));
            File.WriteAllBytes(folder.File(left), new byte[] { 1 });
            using (var other = new FileStream(folder.File(writing), FileMode.CreateNew, FileAccess.Write))
            {
                Assert.AreEqual(0, Flock(other.SafeFileHandle.DangerousGetHandle().ToInt32(), 2 | 4));
                WriteAllBytes(path, new byte[] { 9 });
                AssertOnlyEntries("Foo.txt", writing);
            }
        }

        [DllImport("libc", EntryPoint = "readlink", SetLastError = true)]
        private static extern long readlink(string path, byte[] buffer, UIntPtr size);

        // Only this test's folder counts: the runtime and earlier tests open
        // and close descriptors of their own at any moment.
        private static int DescriptorsInto(string folderPath)
        {
            int count = 0;
            var target = new byte[4096];
            foreach (string link in Directory.GetFileSystemEntries("/proc/self/fd"))
            {
                long length = readlink(link, target, (UIntPtr)target.Length);
                if (length > 0 && System.Text.Encoding.UTF8.GetString(target, 0, (int)length).StartsWith(folderPath + "/", StringComparison.Ordinal))
                    count++;
            }
            return count;
        }

        [Test]
        public void EveryWayAWriteEndsClosesItsFile()
        {
            // Placed, refused, failed or abandoned: a descriptor left open
            // would hold an unnamed file's room until the run ends. A new
            // file's name taken while it is written stays with its owner.
            if (!Platform.IsLinux) Assert.Ignore("counts the descriptors in /proc");
            string path = folder.File("Foo.txt"), po = folder.File("Foo.po"), dir = folder.File("Dir.txt");
            Directory.CreateDirectory(dir);
            Action<Stream> failing = stream => { stream.Write(new byte[9000], 0, 9000); throw new IOException("full"); };
            Action[] writes =
            {
                () => WriteAllBytes(path, new byte[] { 1 }),
                () => Assert.Throws<IOException>(() => SafeFile.Write(path, failing)),
                () => Assert.Catch(() => WriteAllBytes(dir, new byte[] { 1 })),
                () => Assert.IsFalse(NewFile.Write(po, stream => File.WriteAllBytes(po, new byte[] { 7 }))),
                () => { using (PendingFile pending = PendingFile.Begin(path)) pending.Output.WriteByte(2); },
                () => { using (PendingFile pending = PendingFile.Begin(path)) { pending.Output.WriteByte(3); pending.Commit(); } },
            };
            writes[0]();
            foreach (Action write in writes) write();
            Assert.AreEqual(0, DescriptorsInto(folder.Path), "descriptors open");
            CollectionAssert.AreEqual(new byte[] { 3 }, File.ReadAllBytes(path));
            CollectionAssert.AreEqual(new byte[] { 7 }, File.ReadAllBytes(po));
            AssertOnlyEntries("Foo.txt", "Foo.po", "Dir.txt");
        }

        [Test]
        public void TemporaryNameIsBesideTargetAndUnique()
        {
            string target = folder.File("Foo.txt");
            string a = SafeFile.TemporaryPathFor(target);
            string b = SafeFile.TemporaryPathFor(target);
            Assert.AreEqual(folder.Path, Path.GetDirectoryName(a));
            StringAssert.StartsWith(".Foo.txt.", Path.GetFileName(a));
            StringAssert.EndsWith(".tmp", a);
            Assert.AreNotEqual(a, b);
        }

        [Test]
        public void NamesUpToTheFileSystemsLimitCanBeWritten()
        {
            // 255 bytes is the longest name most file systems take; the
            // temporary file beside it must not need a longer one.
            foreach (string name in new[] { new string('x', 251) + ".txt", new string('\u00E9', 125) + ".txt" })
            {
                string target = folder.File(name);
                WriteAllBytes(target, new byte[] { 1, 2, 3 });
                CollectionAssert.AreEqual(new byte[] { 1, 2, 3 }, File.ReadAllBytes(target));
                WriteAllBytes(target, new byte[] { 4 });
                CollectionAssert.AreEqual(new byte[] { 4 }, File.ReadAllBytes(target));
            }
            CollectionAssert.AreEquivalent(new[] { new string('x', 251) + ".txt", new string('\u00E9', 125) + ".txt" },
                Array.ConvertAll(Directory.GetFiles(folder.Path), Path.GetFileName));
        }
    }
}
