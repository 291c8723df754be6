using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Text;
using tool;

/// <summary>
/// Makes large PO files and times reading and looking them up.
///   mono PoBench.exe generate FILE subtitles|million|msgstr
///     subtitles: about 50 MB in about 150,000 translated subtitle entries;
///     million: 10^6 short entries; msgstr: one entry with a 50 MB msgstr.
///   mono PoBench.exe read FILE
///     reads the file, then looks every entry up as the package's text of
///     its key (every 50th text changed, as after a patch); prints the times
///     of reading and lookup and what they found.
///   mono PoBench.exe translate TEMPLATE FILE
///     writes FILE: the template with every entry translated (a translation
///     about four times as long as its original, line feeds kept at its ends).
/// </summary>
public static class PoBench
{
    public static int Main(string[] args)
    {
        if (args.Length == 3 && args[0] == "generate") return Generate(args[1], args[2]);
        if (args.Length == 2 && args[0] == "read") return Read(args[1]);
        if (args.Length == 3 && args[0] == "translate") return Translate(args[1], args[2]);
        Console.Error.WriteLine("usage: PoBench.exe generate FILE subtitles|million|msgstr | read FILE | translate TEMPLATE FILE");
        return 2;
    }

    private static readonly string[] Words =
    {
        "where", "were", "you", "last", "night", "nowhere", "need", "know", "about", "leave", "it",
        "the", "ship", "is", "sinking", "captain", "we", "must", "go", "now", "quiet", "listen",
    };
    private static readonly string[] Translated =
    {
        "d\u00F3nde", "estabas", "anoche", "ning\u00FAn", "sitio", "d\u00E9jalo", "el", "barco",
        "se", "hunde", "capit\u00E1n", "vamos", "ya", "silencio", "escucha", "\u00BFqu\u00E9?",
    };

    private static string Sentence(Random random, string[] words, int length)
    {
        var s = new StringBuilder();
        while (s.Length < length)
        {
            if (s.Length > 0) s.Append(random.Next(12) == 0 ? "\n" : " ");
            s.Append(words[random.Next(words.Length)]);
        }
        return s.Append('.').ToString();
    }

    private static int Generate(string file, string kind)
    {
        var random = new Random(1);
        var writer = new PoWriter("Bench.upk", "es");
        if (kind == "subtitles")
            for (int i = 0; writer.Length < 50 << 20; i++)
                writer.Add(new PoEntry("Wave_" + (i / 3) + ":Subtitles[" + (i % 3) + "].Text",
                    Sentence(random, Words, 40 + random.Next(150)), Sentence(random, Translated, 40 + random.Next(150)))
                { Comment = "SoundNodeWave, export " + (i / 3) });
        else if (kind == "million")
            for (int i = 0; i < 1000000; i++)
                writer.Add(new PoEntry("W" + i + ":Subtitles[0].Text", "Hello " + (i % 1000), "Hola " + (i % 1000)));
        else if (kind == "msgstr")
            writer.Add(new PoEntry("Wave_Long:Subtitles[0].Text", "Long", Sentence(random, Translated, 50 << 20)));
        else return Fail("unknown kind " + kind);
        using (var stream = File.Create(file)) writer.WriteTo(stream);
        return 0;
    }

    private static int Translate(string template, string file)
    {
        byte[] bytes = File.ReadAllBytes(template);
        PoCatalog catalog = PoReader.Read(bytes, bytes.Length);
        if (catalog.Refusal != null) return Fail(template + ": " + catalog.Refusal);
        var random = new Random(2);
        var writer = new PoWriter(Path.GetFileNameWithoutExtension(template) + ".upk", "es");
        foreach (PoEntry entry in catalog.Entries)
        {
            string core = entry.Id.Trim('\n');
            int lead = core.Length == 0 ? 0 : entry.Id.IndexOf(core, StringComparison.Ordinal);
            entry.Str = core.Length == 0 ? entry.Id : entry.Id.Substring(0, lead)
                + Sentence(random, Translated, 4 * core.Length).Trim('\n') + entry.Id.Substring(lead + core.Length);
            writer.Add(entry);
        }
        using (var stream = File.Create(file)) writer.WriteTo(stream);
        return 0;
    }

    private static int Fail(string message)
    {
        Console.Error.WriteLine(message);
        return 1;
    }

    private static int Read(string file)
    {
        var watch = Stopwatch.StartNew();
        byte[] bytes = File.ReadAllBytes(file);
        double loaded = watch.Elapsed.TotalSeconds;
        PoCatalog catalog = PoReader.Read(bytes, bytes.Length);
        double read = watch.Elapsed.TotalSeconds;
        if (catalog.Refusal != null) return Fail(file + ": " + catalog.Refusal);

        var keys = new List<string>(catalog.Entries.Count);
        var texts = new List<string>(catalog.Entries.Count);
        for (int i = 0; i < catalog.Entries.Count; i++)
        {
            keys.Add(catalog.Entries[i].Context);
            texts.Add(i % 50 == 49 ? catalog.Entries[i].Id + " (patched)" : catalog.Entries[i].Id);
        }
        double start = watch.Elapsed.TotalSeconds;
        PoLookupResult result = PoLookup.Apply(keys, texts, catalog);
        double lookup = watch.Elapsed.TotalSeconds - start;
        int translated = 0;
        foreach (PoEntry source in result.Sources) if (source != null) translated++;
        Console.WriteLine("entries {0}, translated {1}, outdated {2}, fuzzy {3}; load {4:F2} s, read {5:F2} s, lookup {6:F2} s",
            catalog.Entries.Count, translated, result.Outdated.Count, result.Fuzzy.Count, loaded, read - loaded, lookup);
        return 0;
    }
}
