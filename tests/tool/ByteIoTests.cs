using System;
using System.IO;
using System.Linq;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class ByteIoTests
    {
        [Test]
        public void ReaderRefusesReadsPastTheEnd()
        {
            var r = new ByteReader(new byte[] { 1, 2, 3, 4, 5, 6 });
            Assert.AreEqual(0x04030201, r.ReadInt32());
            Assert.Throws<DamagedPackageException>(() => r.ReadInt32());
            Assert.AreEqual(4, r.Position, "a failed read does not move the position");
            Assert.Throws<DamagedPackageException>(() => r.Skip(-1));
            Assert.Throws<DamagedPackageException>(() => r.Skip(int.MaxValue));
            r.Position = -4;
            Assert.Throws<DamagedPackageException>(() => r.ReadByte());
        }

        [Test]
        public void ReaderReadsSignedLittleEndian64()
        {
            var r = new ByteReader(new byte[] { 0xFE, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0 });
            Assert.AreEqual(0x1FFFFFFFEL, r.ReadInt64());
        }

        [Test]
        public void WriterFillsGapsWithZerosAndOverwritesInPlace()
        {
            var w = new ByteWriter(16);
            w.Position = 40;
            w.WriteInt32(-2);
            Assert.AreEqual(44, w.Length);
            w.Position = 0;
            w.WriteInt64(0x0102030405060708L);
            var bytes = w.ToArray();
            Assert.AreEqual(44, bytes.Length);
            CollectionAssert.AreEqual(new byte[] { 8, 7, 6, 5, 4, 3, 2, 1 }, new ArraySegment<byte>(bytes, 0, 8));
            for (int i = 8; i < 40; i++) Assert.AreEqual(0, bytes[i]);
            CollectionAssert.AreEqual(new byte[] { 0xFE, 0xFF, 0xFF, 0xFF }, new ArraySegment<byte>(bytes, 40, 4));
        }

        [Test]
        public void WriteToPutsExactlyTheWrittenBytesIntoTheStream()
        {
            // Large initial room, a gap, a position moved back: only bytes 0
            // to the end count, not the spare room nor the position.
            var w = new ByteWriter(1000);
            w.Position = 3;
            w.WriteInt32(0x0A0B0C0D);
            w.Position = 1;
            w.WriteBytes(new byte[] { 0x55 }, 0, 1);
            var stream = new MemoryStream();
            stream.WriteByte(0xEE);
            w.WriteTo(stream);
            CollectionAssert.AreEqual(new byte[] { 0xEE, 0, 0x55, 0, 0x0D, 0x0C, 0x0B, 0x0A }, stream.ToArray());
            CollectionAssert.AreEqual(w.ToArray(), new ArraySegment<byte>(stream.ToArray(), 1, 7));

            // After growing past its room the writer still writes all of it.
            var grown = new ByteWriter(16);
            for (int i = 0; i < 100; i++) grown.WriteBytes(new[] { (byte)i }, 0, 1);
            var all = new MemoryStream();
            grown.WriteTo(all);
            Assert.AreEqual(100, all.Length);
            Assert.AreEqual(99, all.ToArray()[99]);
        }

        [Test]
        public void RestartedWriterCountsFromItsOriginAndZerosGapsInReusedStorage()
        {
            var w = new ByteWriter(16);
            w.WriteBytes(new byte[] { 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA }, 0, 12);
            w.Restart(1000);
            Assert.AreEqual(1000, w.Position);
            w.Position = 1004;
            w.WriteInt32(7);
            w.Position = 1001;
            w.WriteBytes(new byte[] { 5 }, 0, 1);
            w.Position = w.Length;
            Assert.AreEqual(1008, w.Length);
            CollectionAssert.AreEqual(new byte[] { 0, 5, 0, 0, 7, 0, 0, 0 }, w.ToArray());
            Assert.Throws<DamagedPackageException>(() => w.Position = 999);

            // Near the 2 GB that package offsets address, the result is too large, not damaged.
            w.Restart(int.MaxValue - 100);
            var refusal = Assert.Throws<OutputTooLargeException>(() => w.WriteBytes(new byte[64], 0, 64));
            Assert.AreEqual(Refusal.OutputTooLarge, refusal.Reason);
        }

        /// <summary>
        /// A writer that passes a long part on to its stream as it grows
        /// leaves there the bytes of one that holds it whole: with sizes
        /// patched among the bytes passed on and across the buffer's start, a
        /// gap, and large pieces that go to the stream directly.
        /// </summary>
        [Test]
        public void APartPassedOnAsItGrowsIsTheSameAsOneHeldWhole()
        {
            var random = new Random(3);
            var chunk = new byte[1000];
            var big = new byte[ByteWriter.SpillBytes + 5];
            random.NextBytes(big);
            Action<ByteWriter>[] steps =
            {
                w => { for (int i = 0; i < 5000; i++) { random.NextBytes(chunk); w.WriteBytes(chunk, 0, chunk.Length); } },
                w => { long end = w.Position; w.Position = 1008; w.WriteInt32(-7); w.Position = end; },
                w => { long end = w.Position; w.Position = ByteWriter.SpillBytes + 996; w.WriteInt64(0x0102030405060708L); w.Position = end; },
                w => w.WriteBytes(big, 1, big.Length - 1),
                w => { w.Position = w.Length + 100; w.WriteInt32(9); },
                w => { w.Position = w.Length + 3; w.WriteBytes(big, 0, big.Length); },
                w => { long end = w.Position; w.Position = 1000 + 3 * ByteWriter.SpillBytes; w.WriteUtf16Terminated("ab"); w.Position = end; },
                w => w.WriteBytes(chunk, 0, 10),
            };
            var whole = new ByteWriter(16);
            whole.Restart(1000);
            var passedOn = new ByteWriter(16);
            var stream = new MemoryStream();
            stream.Write(new byte[1000], 0, 1000);
            passedOn.Restart(1000, stream);
            for (int k = 0; k < steps.Length; k++)
            {
                // Both writers see the same random bytes.
                var state = new Random(k);
                random = state;
                steps[k](whole);
                random = new Random(k);
                steps[k](passedOn);
                Assert.AreEqual(whole.Position, passedOn.Position, "step " + k);
                Assert.AreEqual(whole.Length, passedOn.Length, "step " + k);
            }
            passedOn.Flush();
            byte[] expected = whole.ToArray();
            Assert.AreEqual(1000 + expected.Length, stream.Length);
            Assert.IsTrue(Same(expected, new ArraySegment<byte>(stream.ToArray(), 1000, (int)stream.Length - 1000).ToArray()));
            Assert.Throws<DamagedPackageException>(() => passedOn.Position = 999);
        }

        /// <summary>Whether two byte arrays are equal (quicker than the collection asserts on megabytes).</summary>
        public static bool Same(byte[] a, byte[] b)
        {
            if (a.Length != b.Length) return false;
            for (int i = 0; i < a.Length; i++)
                if (a[i] != b[i]) return false;
            return true;
        }

        [Test]
        public void CopyFromMovesBothPositions()
        {
            var r = new ByteReader(new byte[] { 9, 8, 7, 6 });
            r.Position = 1;
            var w = new ByteWriter(16);
            w.Position = 2;
            w.CopyFrom(r, 2);
            Assert.AreEqual(3, r.Position);
            Assert.AreEqual(4, w.Position);
            CollectionAssert.AreEqual(new byte[] { 0, 0, 8, 7 }, w.ToArray());
            Assert.Throws<DamagedPackageException>(() => w.CopyFrom(r, 2));
        }
    }
}
