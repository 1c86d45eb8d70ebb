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
    if (hasSteps) for (k = 1; k <= 17; k++) steps[run, format, k] += s[k]
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

# The shares of one run's loads in laps of the format: the laps add up to the whole; the
# conversion's steps timed alone are shares of it, and its rest is what they leave of it.
function shares(r, f,    k, v, whole, line, inner, rest, normals) {
  for (k = 1; k <= 17; k++) v[k] = steps[r, f, k]
  whole = v[1]
  if (whole <= 0) return
  line = sprintf("  %s %.1f ms: the file looked up %s; the conversion %s (", f, whole, pct(v[2], whole), pct(v[3], whole))
  if (v[16] > 0) line = line sprintf("the platform's X parser %s, ", pct(v[16], whole))
  if (v[15] > 0) line = line sprintf("X text and its temporary file %s, ", pct(v[15], whole))
  if (v[14] > 0) line = line sprintf("skins made and saved as pictures %s, ", pct(v[14], whole))
  if (v[9] > 0) {
    normals = v[10] + v[11] + v[12] + v[13]
    line = line sprintf("the platform's normals of %d meshes %s (of them: D3DX meshes made and filled %s, normals computed %s, read back %s, released %s), ",
      v[17], pct(v[9], whole), pct(v[10], normals), pct(v[11], normals), pct(v[12], normals), pct(v[13], normals))
  }
  line = line sprintf("the native block %s, ", pct(v[8], whole))
  inner = v[16] + v[15] + v[14] + v[9] + v[8]
  rest = v[3] - inner
  # Steps timed alone can come to more than the conversion that holds them (a busy machine's
  # swings on either): then the rest is too small to be told from them.
  if (rest >= 0) line = line sprintf("the rest %s)", pct(rest, whole))
  else line = line sprintf("no rest measurable: the steps timed alone came to %s of the load more than the conversion)", pct(-rest, whole))
  line = line sprintf("; beyond the conversion %s (its block copied and the converter's block and object freed %s, the block read back into an object %s, its values checked %s, the copy freed %s)",
    pct(v[4] + v[5] + v[6] + v[7], whole), pct(v[4], whole), pct(v[5], whole), pct(v[6], whole), pct(v[7], whole))
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
$1 == "steps" { hasSteps = 1; for (k = 1; k <= 17; k++) s[k] = $(k + 1) }
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
  print "and the conversion's steps timed alone, their rounds in turn; each the fastest pass of five rounds; shares of the"
  print "sum of those loads):"
  for (r = 1; r <= run; r++) {
    printf "run %d:\n", r
    for (k = 1; k <= formats; k++) shares(r, order[k])
  }
}
