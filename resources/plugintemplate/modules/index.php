<?php
// Nothing to list here: a folder request is answered with an empty page.
if ( ! defined( 'ABSPATH' ) ) {
    exit;
}
