using System;
using System.Collections.Generic;
using NUnit.Framework;

namespace tool.Tests
{
    /// <summary>
    /// ctest runs the fixtures it lists, one test each (tests/tool/CMakeLists.txt),
    /// and hands the list on in SCRIVEL_TOOL_FIXTURES: a fixture missing from
    /// it would never run.
    /// </summary>
    [TestFixture]
    public class FixtureListTests
    {
        [Test]
        public void EveryFixtureIsListedForCtest()
        {
            string listed = Environment.GetEnvironmentVariable("SCRIVEL_TOOL_FIXTURES");
            if (string.IsNullOrEmpty(listed)) Assert.Ignore("SCRIVEL_TOOL_FIXTURES is set by ctest");
            var fixtures = new List<string>();
            foreach (Type type in GetType().Assembly.GetTypes())
                if (type.IsDefined(typeof(TestFixtureAttribute), false)) fixtures.Add(type.FullName);
            fixtures.Sort(StringComparer.Ordinal);
            var names = new List<string>(listed.Split(','));
            names.Sort(StringComparer.Ordinal);
            CollectionAssert.AreEqual(fixtures, names);
        }
    }
}
