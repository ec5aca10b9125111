# Sites the end-to-end test builds besides the example site, made from the example's files.
# Sourced by run_e2e.sh.

# make_nested_site DIR EXAMPLE_SITE: pages and assets in subfolders whose names hold blanks
# and non-ASCII letters; the sales page opens with an XML prolog.
make_nested_site() {
    local dir=$1 example=$2
    mkdir -p "$dir/offer pages" "$dir/assets/img" "$dir/assets/style sheets" "$dir/assets/docs"
    cp "$example/images/cover.png" "$dir/assets/img/hero image.png"
    cp "$example/images/leaf-tile.png" "$dir/assets/img/tile bg.png"
    cp "$example/images/author.jpg" "$dir/assets/img/café.jpg"
    cp "$example/files/little-green-balcony.pdf" "$dir/assets/docs/Guide – part 1.pdf"
    cat > "$dir/assets/style sheets/main.css" <<'CSS'
body { background: #fffaf0 url("../img/tile bg.png"); font-family: sans-serif; }
.hero { background-image: url('../img/hero image.png'); background-repeat: no-repeat; }
CSS
    cat > "$dir/offer pages/sales page.html" <<'HTML'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">
<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="fr">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=UTF-8" />
<title>Crème brûlée sans four — l'offre de Tom</title>
<link rel="stylesheet" type="text/css" href="assets/style sheets/main.css" />
</head>
<body>
<div class="hero"><img src="assets/img/hero image.png" alt="" /></div>
<h1>Crème brûlée sans four — l'offre de Tom</h1>
<p>Vingt desserts à la poêle, prêts en 15 minutes. Prix : 12 € seulement · Ελληνικά · 日本語</p>
<p><img src="assets/img/café.jpg" alt="Un café" /></p>
<p class="order">Commandez ici : #FRONT#</p>
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
<p>Téléchargez-le tout de suite : <a href="assets/docs/Guide – part 1.pdf">Guide – partie 1 (PDF)</a></p>
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
