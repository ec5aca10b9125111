# Sites the end-to-end test builds besides the example site, made from the example's files.
# Sourced by run_e2e.sh.

# make_nested_site DIR EXAMPLE_SITE: pages and assets in subfolders whose names hold blanks
# and non-ASCII letters; the sales page opens with an XML prolog. The pages write their
# references in every way the real sites we tried do: raw and percent-encoded blanks and
# non-ASCII letters, "./" and "../", root-relative, srcset, url() in style attributes and in a
# style element with @import, values with character references, a name matched only by ignoring
# letter case, query and fragment, and the old background attribute.
make_nested_site() {
    local dir=$1 example=$2
    mkdir -p "$dir/offer pages/images" "$dir/assets/img" "$dir/assets/style sheets" "$dir/assets/docs"
    cp "$example/images/cover.png" "$dir/assets/img/hero image.png"
    cp "$example/images/leaf-tile.png" "$dir/assets/img/tile bg.png"
    cp "$example/images/author.jpg" "$dir/assets/img/café.jpg"
    cp "$example/images/check.png" "$dir/assets/img/icon-1x.png"
    cp "$example/images/cover.png" "$dir/assets/img/icon-2x.png"
    cp "$example/images/leaf-tile.png" "$dir/assets/img/Leaf.PNG"
    cp "$example/images/check.png" "$dir/offer pages/images/badge.png"
    cp "$example/files/little-green-balcony.pdf" "$dir/assets/docs/Guide – part 1.pdf"
    cp "$example/files/little-green-balcony.pdf" "$dir/assets/docs/sample chapter.pdf"
    # Delivery file names that would end or open a PHP string or tag if written as they are.
    cp "$example/files/little-green-balcony.pdf" "$dir/assets/docs/it's \"odd\" \\ ?> <?php \$x.pdf"
    cp "$example/files/little-green-balcony.pdf" "$dir/assets/docs/tab"$'\t'"ünï €.pdf"
    cat > "$dir/assets/style sheets/main.css" <<'CSS'
body { background: #fffaf0 url("../img/tile bg.png"); font-family: sans-serif; }
.hero { background-image: url('../img/hero image.png'); background-repeat: no-repeat; }
CSS
    cat > "$dir/assets/style sheets/print.css" <<'CSS'
.hero { background: none; }
CSS
    cat > "$dir/offer pages/sales page.html" <<'HTML'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">
<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="fr">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=UTF-8" />
<title>Crème brûlée sans four — l'offre de Tom</title>
<link rel="stylesheet" type="text/css" href="assets/style sheets/main.css" />
<link rel="stylesheet" type="text/css" href="../assets/style%20sheets/main.css?v=3" />
<style type="text/css">
@import "../assets/style sheets/print.css";
.badge { background: url(../assets/img/icon-1x.png) no-repeat; }
.tile { background-image: URL( '../assets/img/tile%20bg.png' ); }
</style>
</head>
<body>
<div class="hero"><img src="assets/img/hero image.png" alt="" /></div>
<h1>Crème brûlée sans four — l'offre de Tom</h1>
<p>Vingt desserts à la poêle, prêts en 15 minutes. Prix : 12 € seulement · Ελληνικά · 日本語</p>
<p><img src="assets/img/café.jpg" alt="Un café" /> <img src="../assets/img/caf%C3%A9.jpg" alt="Le même café" /></p>
<p><img src="./images/badge.png" alt="Badge" /> <img src='/assets/img/icon-2x.png' alt="Grand" />
<img src="../assets/img/icon-1x.png" srcset="../assets/img/icon-1x.png 1x, ../assets/img/icon-2x.png 2x" alt="Icône" /></p>
<div class="tile" style="background-image: url('../assets/img/tile bg.png'); min-height: 4px"></div>
<div style="background: url(&quot;../assets/img/hero%20image.png&quot;) no-repeat">&#160;</div>
<p><img src="../assets/img/leaf.png" alt="Feuille" /></p>
<table background="../assets/img/tile%20bg.png"><tr><td>Recettes</td></tr></table>
<p>Un extrait : <a href="../assets/docs/sample%20chapter.pdf?lang=fr&amp;v=2#page=3">chapitre (PDF)</a>,
<a href="#recettes">les recettes</a>, <a href="sales%20page.html#recettes">encore</a>.</p>
<p class="order" id="recettes">Commandez ici : #FRONT#</p>
<p>Les symboles &lt;? et ?&gt; restent du texte, comme <code>&lt;?php</code>.</p>
</body>
</html>
HTML
    cat > "$dir/offer pages/thank you.html" <<'HTML'
<!DOCTYPE html>
<html lang="fr">
<head>
<meta charset="utf-8">
<title>Merci ! Votre guide est prêt</title>
<link rel="stylesheet" href="assets/style sheets/main.css">
</head>
<body>
<h1>Merci ! Votre guide est prêt</h1>
<p>Téléchargez-le tout de suite : <a href="assets/docs/Guide – part 1.pdf">Guide – partie 1 (PDF)</a>
(<a href="../assets/docs/guide%20%E2%80%93%20part%201.pdf#page=1">page 1</a>)</p>
<p><a href="../assets/docs/it%27s%20%22odd%22%20%5C%20%3F%3E%20%3C%3Fphp%20%24x.pdf">Odd name</a>
<a href="../assets/docs/tab%09%C3%BCn%C3%AF%20%E2%82%AC.pdf">Tab name</a></p>
<div class="extras">
#BACK#
</div>
</body>
</html>
HTML
}

# make_single_page_site DIR EXAMPLE_SITE: one page serving as sales page and download page.
make_single_page_site() {
    local dir=$1 example=$2
    mkdir -p "$dir/img" "$dir/files"
    cp "$example/images/cover.png" "$dir/img/cover.png"
    cp "$example/files/little-green-balcony.pdf" "$dir/files/handout.pdf"
    cat > "$dir/index.html" <<'HTML'
<!doctype html>
<html>
<head><meta charset="utf-8"><title>One Page Shop — free handout</title></head>
<body>
<img src="img/cover.png" alt="Cover">
<h1>One Page Shop — free handout</h1>
<div id="signup">#FRONT#</div>
<div id="delivery">#BACK#</div>
<p><a href="files/handout.pdf">Handout (PDF)</a></p>
</body>
</html>
HTML
}
