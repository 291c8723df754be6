// The export classes whose property data holds the texts.
namespace tool
{
    /// <summary>
    /// The export classes whose property data holds the texts, by exact,
    /// case-sensitive class name. Extraction reads three of them; import
    /// re-serialises two and only counts the lines of the third.
    /// </summary>
    public static class TextClasses
    {
        /// <summary>A class whose texts extraction writes but import cannot compile.</summary>
        public const string Uncompiled = "SoundNodeWaveEx";

        private static readonly string[] Rewritten = { "SoundNodeWave", "AttributePresentationDefinition" };

        /// <summary>Whether extraction collects the texts of an export of this class.</summary>
        public static bool IsExtracted(string className)
        {
            return IsRewritten(className) || className == Uncompiled;
        }

        /// <summary>Whether import re-serialises the property data of an export of this class.</summary>
        public static bool IsRewritten(string className)
        {
            return className == Rewritten[0] || className == Rewritten[1];
        }
    }
}
