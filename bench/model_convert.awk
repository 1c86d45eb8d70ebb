# The report of bench/model_convert.sh from its runs' records (one file of records a run, in
# order): both runs' figures per file and per format, a line a format for the README, then where the
# engine's time goes in each run.
#   awk -f bench/model_convert.awk RESULTS_1 RESULTS_2
function base(path) { sub(/.*\//, "", path); return path }
function pct(part, whole) { return whole <= 0 ? "-" : sprintf(part < whole / 100 ? "%.1f%%" : "%.0f%%", 100 * part / whole) }
function shown(ms, failed) { return failed ? "failed" : sprintf("%.3f", ms) }
function least(a, b) { return a == "" || b < a ? b : a }
function most(a, b) { return a == "" || b > a ? b : a }

# The file read so far in this run: its figures, and the format's sums when both sides loaded it.
function finish(    key, k) {
  if (format == "") return
  key = run SUBSEP file
  engine[key] = best["engine"]; native[key] = best["native"]
  failed[key] = engineFailed ? "engine" : nativeFailed ? "native" : ""
  if (failed[key] == "" && best["native"] > 0) {
    ratio[key] = best["engine"] / best["native"]
    sumEngine[run, format] += best["engine"]; sumNative[run, format] += best["native"]
    ratios[run, format, ++count[run, format]] = ratio[key]
    lowRatio[format] = least(lowRatio[format], ratio[key]); highRatio[format] = most(highRatio[format], ratio[key])
    lowNative[format] = least(lowNative[format], best["native"]); highNative[format] = most(highNative[format], best["native"])
    lowEngine[format] = least(lowEngine[format], best["engine"]); highEngine[format] = most(highEngine[format], best["engine"])
    if (hasSteps) for (k = 1; k <= 18; k++) steps[run, format, k] += s[k]
  }
  format = ""
}

# The median of the run's file ratios of the format, and their least and greatest.
function summary(r, f,    c, i, j, t, sorted, median) {
  c = count[r, f] + 0
  if (c == 0) { printf "run %d, format %s: no file loaded on both sides\n", r, f; return }
  for (i = 1; i <= c; i++) sorted[i] = ratios[r, f, i]
  for (i = 2; i <= c; i++)
    for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
  median = c % 2 ? sorted[(c + 1) / 2] : (sorted[c / 2] + sorted[c / 2 + 1]) / 2
  printf "run %d, format %s: %d files, engine %.1f ms, native %.2f ms, ratio of the sums %.1f, per file %.1f-%.1f (median %.1f)\n",
    r, f, c, sumEngine[r, f], sumNative[r, f], sumEngine[r, f] / sumNative[r, f], sorted[1], sorted[c], median
}

function readme(f,    r, sums) {
  if (count[1, f] + 0 == 0 || count[2, f] + 0 == 0) return
  for (r = 1; r <= 2; r++) sums = sums (r > 1 ? " and " : "") sprintf("%.1f", sumEngine[r, f] / sumNative[r, f])
  printf "%-4s %2d files: the engine takes %s times as long as the importer (per file %.1f-%.1f in both runs); importer %.3f-%.3f ms a file, engine %.3f-%.3f ms\n",
    f, count[1, f], sums, lowRatio[f], highRatio[f], lowNative[f], highNative[f], lowEngine[f], highEngine[f]
}

# A step of the conversion timed alone as a share of the conversion; one that took longer than the
# whole conversion is said to, with both figures, and has no share.
function stepShare(name, part, whole) {
  if (part <= whole) return sprintf("%s %s", name, pct(part, whole))
  return sprintf("%s: timed alone %.2f ms, longer than the whole conversion (%.2f ms)", name, part, whole)
}

# The shares of one run's loads in laps of the format: the laps add up to the whole load; the
# conversion's steps, timed alone after each pass of the load, are shares of the conversion, and
# its rest is what they leave of it.
function shares(r, f,    k, v, whole, conv, line, inner, normals) {
  for (k = 1; k <= 18; k++) v[k] = steps[r, f, k]
  whole = v[1]; conv = v[3]
  if (whole <= 0) return
  line = sprintf("  %s %.1f ms: the file looked up %s; the conversion %s (%.1f ms; of it, each step timed alone: ", f, whole, pct(v[2], whole), pct(conv, whole), conv)
  if (v[17] > 0) line = line stepShare("the platform's X parser", v[17], conv) ", "
  if (v[16] > 0) line = line stepShare("X text and its temporary file", v[16], conv) ", "
  if (v[15] > 0) line = line stepShare("skins made and saved as pictures", v[15], conv) ", "
  if (v[10] > 0) {
    normals = v[11] + v[12] + v[13] + v[14]
    line = line stepShare(sprintf("the platform's normals of %d meshes", v[18]), v[10], conv)
    line = line sprintf(" (of them: D3DX meshes made and filled %s, normals computed %s, read back %s, released %s), ",
      pct(v[11], normals), pct(v[12], normals), pct(v[13], normals), pct(v[14], normals))
  }
  line = line stepShare("the native block", v[9], conv) ", "
  inner = v[17] + v[16] + v[15] + v[10] + v[9]
  # Each step timed alone is its fastest pass, a floor of its own: together they can come to more
  # than the conversion's fastest pass, and then the rest is too small to be told from them.
  if (inner <= conv) line = line sprintf("the rest %s)", pct(conv - inner, conv))
  else line = line sprintf("no rest measurable: the steps timed alone add up to %.2f ms, more than the conversion)", inner)
  line = line sprintf("; beyond the conversion %s (its block copied and the converter's block and object freed %s, the block read back into an object %s, its values checked %s, its pose's copy and first frame charged %s, the copy freed %s)",
    pct(v[4] + v[5] + v[6] + v[7] + v[8], whole), pct(v[4], whole), pct(v[5], whole), pct(v[6], whole), pct(v[7], whole), pct(v[8], whole))
  print line
}

FNR == 1 { finish(); run++ }
$1 == "load" { loads[run] = loads[run] (loads[run] == "" ? "at the start " : ", at the end ") $2 " " $3 " " $4; next }
$1 == "file" {
  finish()
  format = $2; file = $0; sub(/^file [^ ]+ /, "", file)
  if (!(format in seen)) { seen[format] = 1; order[++formats] = format }
  if (!((format, file) in listed)) { listed[format, file] = 1; files[++fileCount] = file; formatOf[fileCount] = format }
  engineFailed = nativeFailed = hasSteps = 0; best["engine"] = best["native"] = 1e30
  next
}
$1 == "engine" || $1 == "native" {
  if ($2 == "failed") { if ($1 == "engine") engineFailed = 1; else nativeFailed = 1; next }
  if ($2 + 0 < best[$1]) best[$1] = $2 + 0
  next
}
$1 == "steps" { hasSteps = 1; for (k = 1; k <= 18; k++) s[k] = $(k + 1) }
END {
  finish()
  for (r = 1; r <= run; r++) printf "run %d: load average (1, 5, 15 minutes) %s\n", r, loads[r]
  print ""
  printf "%-6s %-34s", "format", "file"
  for (r = 1; r <= run; r++) printf " | run %d: %9s %9s %7s", r, "engine_ms", "native_ms", "ratio"
  print ""
  for (i = 1; i <= fileCount; i++) {
    printf "%-6s %-34s", formatOf[i], base(files[i])
    for (r = 1; r <= run; r++) {
      key = r SUBSEP files[i]
      if (failed[key] != "")
        printf " | run %d: %9s %9s %7s", r, shown(engine[key], failed[key] == "engine"), shown(native[key], failed[key] == "native"), "n/a"
      else
        printf " | run %d: %9.3f %9.3f %7.1f", r, engine[key], native[key], ratio[key]
    }
    print ""
  }
  print ""
  for (k = 1; k <= formats; k++) for (r = 1; r <= run; r++) summary(r, order[k])
  print ""
  print "for the README (ratios of the format's sums in run 1 and run 2; files both sides load):"
  for (k = 1; k <= formats; k++) readme(order[k])
  print ""
  print "where the engine's time goes (files both sides load; the load made as LoadObjectFile makes it, in laps that add up to it,"
  print "each of its passes followed by its conversion's steps, each timed alone; each the fastest of its passes over five rounds;"
  print "the laps as shares of the sum of those loads, the steps as shares of the sum of their conversions):"
  for (r = 1; r <= run; r++) {
    printf "run %d:\n", r
    for (k = 1; k <= formats; k++) shares(r, order[k])
  }
}
