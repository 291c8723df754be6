using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class PoLookupTests
    {
        [Test]
        public void EachTextTakesOnlyItsOwnCurrentTranslation()
        {
            const string po =
                "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n" +
                "\nmsgctxt \"k1\"\nmsgid \"Hello\"\nmsgstr \"Hola\"\n" +                       // line 4: used
                "\nmsgctxt \"k2\"\nmsgid \"Old text\"\nmsgstr \"Viejo\"\n" +                   // line 8: outdated
                "\n#, fuzzy\nmsgctxt \"k3\"\nmsgid \"Bye\"\nmsgstr \"Adi\xC3\xB3s\"\n" +       // line 13: fuzzy
                "\nmsgctxt \"k4\"\nmsgid \"Same\"\nmsgstr \"\"\n" +                            // line 17: untranslated
                "\nmsgctxt \"gone\"\nmsgid \"X\"\nmsgstr \"Y\"\n" +                             // line 21: unmatched
                "\nmsgctxt \"k5\"\nmsgid \"one\"\nmsgid_plural \"n\"\nmsgstr[0] \"uno\"\n" +   // line 25: plural
                "\nmsgid \"Hello\"\nmsgstr \"Hallo\"\n" +                                        // line 30: unmatched
                "\nmsgctxt \"k6\"\nmsgid \"Gone too\"\nmsgstr \"\"\n" +                         // line 33: untranslated
                "\n#, fuzzy\nmsgctxt \"k7\"\nmsgid \"Bye\"\nmsgstr \"\"\n";                      // line 38: untranslated
            PoCatalog catalog = PoTools.Read(PoTools.Latin1(po));
            string[] keys = { "k1", "k2", "k3", "k4", "k5", "k7", "k8", "k9" };
            string[] texts = { "Hello", "New text", "Bye", "Same", "one", "Bye", "Hello", "Hello" };
            PoLookupResult r = PoLookup.Apply(keys, texts, catalog);

            CollectionAssert.AreEqual(new[] { "Hola", "New text", "Bye", "Same", "one", "Bye", "Hello", "Hello" }, r.Texts);
            Assert.AreEqual(4, r.Sources[0].Line);
            for (int i = 1; i < texts.Length; i++) Assert.IsNull(r.Sources[i], "text " + i);
            Assert.AreEqual("1@13 1@8 2@21 1@25", string.Format("{0}@{1} {2}@{3} {4}@{5} {6}@{7}",
                r.Fuzzy.Count, r.Fuzzy.FirstLine, r.Outdated.Count, r.Outdated.FirstLine,
                r.Unmatched.Count, r.Unmatched.FirstLine, r.Plural.Count, r.Plural.FirstLine));
        }
    }
}
