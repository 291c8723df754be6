using System;
using System.Diagnostics;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class PoKeysTests
    {
        [Test]
        public void ObjectPaths()
        {
            string longName = new string('L', PoKeys.MaxPathLength);
            // Outer reference, name, number, the path expected, whether it is "#index".
            var exports = new object[,]
            {
                /* 0 */ { 0, "Wave", 0, "Wave", false },
                /* 1 */ { 1, "Sub", 3, "Wave.Sub_2", false },
                /* 2 */ { 2, null, 0, "#2", true },
                /* 3 */ { 3, "Leaf", 1, "#2.Leaf_0", false },
                /* 4 */ { 6, "CycleA", 0, "#4", true },
                /* 5 */ { 5, "CycleB", 0, "#5", true },
                /* 6 */ { 6, "IntoCycle", 0, "#6", true },
                /* 7 */ { 100, "Beyond", 0, "#7", true },
                /* 8 */ { -3, "Negative", -2, "Negative", false },
                /* 9 */ { 1, "Has\u0004Separator", 0, "#9", true },
                /* 10 */ { 1, "Lone\uD800", 0, "#10", true },
                /* 11 */ { 12, "Self", 0, "#11", true },
                /* 12 */ { 0, longName, 0, longName, false },
                /* 13 */ { 13, "TooLong", 0, "#13", true },
                /* 14 */ { 14, "UnderTooLong", 0, "#14", true },
                /* 15 */ { 0, longName + "L", 0, "#15", true },
                /* 16 */ { 16, "Child", 0, "#15.Child", false },
                /* 17 */ { 1, "", 0, "Wave.", false },
            };
            int n = exports.GetLength(0);
            var outers = new int[n];
            var names = new string[n];
            var numbers = new int[n];
            for (int i = 0; i < n; i++)
            {
                outers[i] = (int)exports[i, 0];
                names[i] = (string)exports[i, 1];
                numbers[i] = (int)exports[i, 2];
            }
            var keys = new PoKeys(outers, names, numbers);
            // Asked from the last to the first, so that inner exports come before their outers.
            for (int i = n - 1; i >= 0; i--)
                Assert.AreEqual(exports[i, 3] + " " + exports[i, 4], keys.ObjectPath(i) + " " + keys.IsIndexed(i), "export " + i);
        }

        [Test]
        public void LongChainTakesLinearTimeAndEndsAtDepth64()
        {
            const int N = 1000000;
            var outers = new int[N];
            var names = new string[N];
            for (int i = 0; i < N; i++)
            {
                outers[i] = i; // export i-1, none for the first
                names[i] = "N";
            }
            var keys = new PoKeys(outers, names, new int[N]);
            var watch = Stopwatch.StartNew();
            Assert.AreEqual("#" + (N - 1), keys.ObjectPath(N - 1));
            Assert.Less(watch.Elapsed.TotalSeconds, 10);
            Assert.AreEqual(new StringBuilder().Insert(0, "N.", PoKeys.MaxDepth - 1).Append("N").ToString(), keys.ObjectPath(PoKeys.MaxDepth - 1));
            Assert.AreEqual("#" + PoKeys.MaxDepth, keys.ObjectPath(PoKeys.MaxDepth));
        }

        [Test]
        public void KeysMetTwiceGetNumbers()
        {
            int renamed;
            string[] keys = PoKeys.Disambiguate(new[] { "A", "B", "A", "A #2", "A", "B", "A #2" }, out renamed);
            CollectionAssert.AreEqual(new[] { "A", "B", "A #3", "A #2", "A #4", "B #2", "A #2 #2" }, keys);
            Assert.AreEqual(4, renamed);
        }
    }
}
